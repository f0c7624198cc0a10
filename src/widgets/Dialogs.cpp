#include "Dialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace widgets {

namespace {

Dialogs* g_installed = nullptr;

QMessageBox::Icon toQt(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Critical:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

constexpr std::pair<Button, QMessageBox::StandardButton> kButtons[] = {
    {Ok, QMessageBox::Ok},
    {Cancel, QMessageBox::Cancel},
    {Yes, QMessageBox::Yes},
    {No, QMessageBox::No}};

}  // namespace

Dialogs& Dialogs::instance() {
    static QtDialogs qtDialogs;
    return g_installed != nullptr ? *g_installed : qtDialogs;
}

void Dialogs::install(Dialogs* dialogs) {
    g_installed = dialogs;
}

int QtDialogs::message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                       int buttons, int defaultButton) {
    QMessageBox box(toQt(icon), title, text, QMessageBox::NoButton, parent);
    for (auto [ours, theirs] : kButtons) {
        if (buttons & ours) {
            QPushButton* button = box.addButton(theirs);
            if (ours == defaultButton) {
                box.setDefaultButton(button);
            }
        }
    }
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (auto [ours, theirs] : kButtons) {
        if (clicked == theirs) {
            return ours;
        }
    }
    // Closed with Esc or the window's close box: the cancelling answer.
    return (buttons & Cancel) ? Cancel : (buttons & No) ? No : Ok;
}

int QtDialogs::exec(QDialog& dialog) {
    return dialog.exec();
}

QString QtDialogs::openFileName(QWidget* parent, const QString& title, const QString& directory,
                                const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, directory, filter);
}

QString QtDialogs::saveFileName(QWidget* parent, const QString& title, const QString& directory,
                                const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, directory, filter);
}

QString QtDialogs::directory(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start);
}

int ScriptedDialogs::message(QWidget*, Icon icon, const QString& title, const QString& text,
                             int buttons, int defaultButton) {
    boxes.push_back({icon, title, text, buttons});
    if (answers.empty()) {
        return defaultButton != NoButton ? defaultButton : Ok;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

int ScriptedDialogs::exec(QDialog& dialog) {
    shown.push_back(&dialog);
    if (onExec) {
        onExec(dialog);
    }
    return dialog.result();
}

QString ScriptedDialogs::nextFileName() {
    if (fileNames.empty()) {
        return {};
    }
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
}

QString ScriptedDialogs::openFileName(QWidget*, const QString&, const QString&, const QString&) {
    return nextFileName();
}

QString ScriptedDialogs::saveFileName(QWidget*, const QString&, const QString&, const QString&) {
    return nextFileName();
}

QString ScriptedDialogs::directory(QWidget*, const QString&, const QString&) {
    return nextFileName();
}

}  // namespace widgets
