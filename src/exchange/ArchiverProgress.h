#pragma once

#include <QPointer>

#include "Archiver.h"

class QDialog;

// The windows' wait for the archiver: a modal progress with "取消", shown through the dialogs
// seam over the active window; "取消", Esc and the close box cancel the run. Installed as the
// archiver's wait while it lives.
class ArchiverProgress final : public exchange::ArchiverWait {
public:
    ArchiverProgress();
    ~ArchiverProgress() override;
    ArchiverProgress(const ArchiverProgress&) = delete;
    ArchiverProgress& operator=(const ArchiverProgress&) = delete;

    bool wait(const std::string& caption) override;
    void finish() override;

private:
    QPointer<QDialog> m_shown;  // the progress while one is shown
};
