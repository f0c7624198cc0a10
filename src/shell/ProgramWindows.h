#pragma once

#include <filesystem>
#include <memory>
#include <vector>

class TDM;
class TMainForm;

// The owner of the program's data module and windows for the whole run. The data module comes
// first; then the main window and every other window, created once, hidden, in start-up order.
// Each is published under its program-wide name (DM, MainForm, FormTree, Fpage1, ...) while it
// lives, and the windows go in the reverse order, each name cleared as its window goes.
class ProgramWindows {
public:
    // The data module over programDir + "data", published as DM; its tables are not opened yet.
    explicit ProgramWindows(const std::filesystem::path& programDir);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TDM& dataModule() const { return *m_dataModule; }

    // The main window, then every further window as the children of the main window: TFormTree,
    // TFormout, TFormNew, Tdw_Form, TFinto8, TFinto7, TFinto6, TFinto5, TFormin, TPrintForm,
    // TFpage1 to TFpage9, the help pages, ... Returns the main window.
    TMainForm& createWindows();

private:
    class Published;
    template <class Object>
    class PublishedAs;
    // Creates an Object from args, owned here and published in name until it goes.
    template <class Object, class... Args>
    Object& publish(Object*& name, Args&&... args);

    // In creation order; destroyed from the back.
    std::vector<std::unique_ptr<Published>> m_objects;
    TDM* m_dataModule = nullptr;
};
