#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace widgets {

enum class Icon { None, Information, Warning, Critical, Question };

// Buttons of a message box, combined as flags; the answer is one of them.
enum Button : int {
    NoButton = 0,
    Ok = 1,
    Cancel = 2,
    Yes = 4,
    No = 8,
};

// Every message box, modal window and common file dialog of the program goes through this
// seam. The program uses Qt's dialogs; tests install a ScriptedDialogs that records every box
// and answers from a queue, so a test drives a real window without blocking.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual int message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                        int buttons, int defaultButton) = 0;
    // Shows dialog modally and returns its result code.
    virtual int exec(QDialog& dialog) = 0;
    // An empty text when the user cancels.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& directory,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& directory,
                                 const QString& filter) = 0;
    virtual QString directory(QWidget* parent, const QString& title, const QString& start) = 0;

    static Dialogs& instance();
    // Installs dialogs (not owned) in place of Qt's; nullptr restores Qt's.
    static void install(Dialogs* dialogs);
};

class QtDialogs : public Dialogs {
public:
    int message(QWidget* parent, Icon icon, const QString& title, const QString& text, int buttons,
                int defaultButton) override;
    int exec(QDialog& dialog) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& directory,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& directory,
                         const QString& filter) override;
    QString directory(QWidget* parent, const QString& title, const QString& start) override;
};

// The stand-in for tests. Message boxes are recorded and answered from answers (the default
// button when the queue is empty); modal windows are handed to onExec (which may act on the
// window and close it) and otherwise return their current result without blocking; file
// dialogs answer from fileNames.
class ScriptedDialogs : public Dialogs {
public:
    struct Box {
        Icon icon;
        QString title;
        QString text;
        int buttons;
    };

    ScriptedDialogs() { install(this); }
    ~ScriptedDialogs() override { install(nullptr); }

    int message(QWidget* parent, Icon icon, const QString& title, const QString& text, int buttons,
                int defaultButton) override;
    int exec(QDialog& dialog) override;
    QString openFileName(QWidget* parent, const QString& title, const QString& directory,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& title, const QString& directory,
                         const QString& filter) override;
    QString directory(QWidget* parent, const QString& title, const QString& start) override;

    std::vector<Box> boxes;
    std::deque<int> answers;
    std::deque<QString> fileNames;
    std::function<void(QDialog&)> onExec;
    std::vector<QDialog*> shown;

private:
    QString nextFileName();
};

}  // namespace widgets
