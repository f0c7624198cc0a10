// The program entry: the data module first, then the main window, then the event loop.
#include <QStringList>

#include "Application.h"
#include "Product.h"
#include "ProgramWindows.h"
#include "SingleInstance.h"
#include "Unit1.h"
#include "UnitDM.h"
#include "Warnings.h"

int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);

    // A second start ends here, silently, before it touches a table or shows a window.
    SingleInstance instance(product::applicationTitle());
    if (!instance.isFirst()) {
        return 0;
    }

    ProgramWindows program(QCoreApplication::applicationDirPath().toStdString());
    const std::vector<std::string> errors = program.dataModule().DataModuleCreate();
    if (!errors.empty()) {
        QStringList texts;
        for (const std::string& error : errors) {
            texts << QString::fromStdString(error);
        }
        widgets::showException(texts.join(QLatin1Char('\n')));
    }

    program.createWindows().show();
    return QApplication::exec();
}
