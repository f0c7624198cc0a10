#pragma once

#include <QDateTime>
#include <QString>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "DocumentTable.h"
#include "WordDocument.h"

class TDM;

// The export of the current record into word-processor documents: every template is opened
// and checked, the documents are filled, written into the user's documents folder and opened
// with the desktop's default application.
namespace documents {

// What an export asks and tells the user, each under its title; the caller shows them.
class ExportMessages {
public:
    // A question with OK and Cancel; true for OK.
    virtual bool confirm(const QString& title, const QString& text) = 0;
    virtual void showError(const QString& title, const QString& text) = 0;
    virtual void showInformation(const QString& title, const QString& text) = 0;

protected:
    ~ExportMessages() = default;
};

// What an export reaches outside itself; tests replace each.
struct ExportSeams {
    ExportMessages* messages = nullptr;
    // Opens a written document with the desktop's default application; false when none did.
    std::function<bool(const QString& path)> openDocument;
    // The folder the documents are written into (made when missing).
    QString folder;
    // The time in the documents' file names.
    std::function<QDateTime()> now;

    // The program's: messages, QDesktopServices, the folder named after the program in the
    // user's documents folder, and the system clock.
    static ExportSeams standard(ExportMessages& messages);
};

// "您确定输出word文档吗？" with OK and Cancel; true for OK.
bool ConfirmWordExport(ExportMessages& messages);

// A template that is missing, unreadable or lacks bookmarks; the message is for the user.
class TemplateError : public DocumentError {
public:
    using DocumentError::DocumentError;
};

// The template of the data directory opened as a new document, after checking that it
// carries every bookmark of its table. Throws TemplateError.
WordDocument OpenTemplateDocument(const std::string& dataDir, const DocumentTable& table);

// Inserts text after the bookmark (an empty text inserts nothing).
void FillBookmark(WordDocument& document, const std::string& bookmark, const std::string& text);

// The set's documents, opened and checked all before any is filled, then filled from the
// current record. Throws TemplateError before anything is filled.
struct FilledDocument {
    std::string templateName;
    WordDocument document;
};
struct FilledSet {
    std::vector<FilledDocument> documents;
    std::vector<LeftOutRows> leftOut;
};
FilledSet fillDocuments(TDM& dm, const DocumentSet& set);

// The file name a document of the template gets for the record: what it is, the record's key
// and the time ("应用技术登记表_2004000001_20240501-103000.docx").
QString documentFileName(const std::string& templateName, const std::string& item4,
                         const std::string& itemDqdm, const QDateTime& time);

// The message that tells how many rows of which list the documents leave out; "" when none.
QString leftOutMessage(const std::vector<LeftOutRows>& leftOut);

// One export button: confirmation, templates, filling, writing (never over an existing
// file), the message on left-out rows, and opening. Errors of the templates and files are
// shown and end the export before a document is written or after the last one written;
// errors of the tables reach the caller.
void runWordExport(TDM& dm, const DocumentSet& set, const ExportSeams& seams);

}  // namespace documents
