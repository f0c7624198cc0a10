#pragma once

#include <QApplication>
#include <QTranslator>

// The application object. Its notify() is the default error handler: an exception that
// escapes an event handler is shown in a message box titled with the application title, and
// the program goes on.
class VelmoraApplication : public QApplication {
public:
    VelmoraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QTranslator m_qtTexts;
};
