#include "Application.h"

#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <exception>

#include "Product.h"
#include "SilentAbort.h"
#include "Warnings.h"

VelmoraApplication::VelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(product::name());
    // The forms name the Chinese faces of their design; these are the installed faces that
    // stand in for them.
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("AR PL UMing CN"),
                                                        QStringLiteral("WenQuanYi Micro Hei")});
    QFont::insertSubstitutions(QStringLiteral("黑体"), {QStringLiteral("WenQuanYi Micro Hei")});
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"),
                               {QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UMing CN")});
    setFont(QFont(QStringLiteral("宋体"), 9));
    // Qt's own widgets in Chinese whatever the machine's locale: the calendars of the date
    // pickers, the numbers, and the texts of message boxes and file dialogs.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    if (m_qtTexts.load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&m_qtTexts);
    }
}

bool VelmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const SilentAbort&) {
        // The action was cancelled after its message was shown.
    } catch (const std::exception& e) {
        widgets::showException(QString::fromUtf8(e.what()));
    } catch (...) {
        widgets::showException(QStringLiteral("未知错误"));
    }
    return false;
}
