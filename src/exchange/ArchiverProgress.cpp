#include "ArchiverProgress.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "Dialogs.h"
#include "Product.h"

namespace {

// The progress window: a reject is a cancel, finish() accepts it.
class ProgressWindow : public QDialog {
public:
    ProgressWindow(QWidget* parent, const QString& caption) : QDialog(parent) {
        setObjectName(QStringLiteral("ArchiverProgress"));
        setWindowTitle(product::name());
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(caption, this);
        label->setObjectName(QStringLiteral("caption"));
        layout->addWidget(label);
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0);  // no measure of progress: a busy bar
        layout->addWidget(bar);
        auto* cancel = new QPushButton(QStringLiteral("取消"), this);
        cancel->setObjectName(QStringLiteral("cancelButton"));
        layout->addWidget(cancel, 0, Qt::AlignRight);
        connect(cancel, &QPushButton::clicked, this, &ProgressWindow::reject);
    }

    void reject() override {
        m_cancelled = true;
        QDialog::reject();
    }
    bool cancelled() const { return m_cancelled; }

private:
    bool m_cancelled = false;
};

}  // namespace

ArchiverProgress::ArchiverProgress() {
    install(this);
}

ArchiverProgress::~ArchiverProgress() {
    install(nullptr);
}

bool ArchiverProgress::wait(const std::string& caption) {
    ProgressWindow progress(QApplication::activeWindow(), QString::fromStdString(caption));
    m_shown = &progress;
    widgets::Dialogs::instance().exec(progress);
    m_shown = nullptr;
    return !progress.cancelled();
}

void ArchiverProgress::finish() {
    if (m_shown) {
        m_shown->accept();
    }
}
