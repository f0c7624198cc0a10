#include "WordExport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include "Product.h"
#include "UnitDM.h"

namespace documents {

namespace {

// More than this many missing bookmarks are counted rather than listed.
constexpr size_t kListedBookmarks = 30;

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString templateBaseName(const std::string& templateName) {
    return QFileInfo(fromUtf8(templateName)).completeBaseName();
}

void showError(ExportMessages& messages, const QString& text) {
    messages.showError(QStringLiteral("错误"), text);
}

void showInformation(ExportMessages& messages, const QString& text) {
    messages.showInformation(QStringLiteral("提示信息"), text);
}

// A path in folder for fileName that names no existing file: "name.docx", "name(2).docx", ...
QString freshPath(const QDir& folder, const QString& fileName) {
    const QFileInfo info(fileName);
    QString path = folder.filePath(fileName);
    for (int copy = 2; QFileInfo::exists(path); ++copy) {
        path = folder.filePath(info.completeBaseName() + QStringLiteral("(%1).").arg(copy) +
                               info.suffix());
    }
    return path;
}

// Characters that no file name may hold become "_".
QString fileNamePart(const std::string& text) {
    QString part = fromUtf8(text);
    for (QChar& c : part) {
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c)) {
            c = QLatin1Char('_');
        }
    }
    return part;
}

}  // namespace

ExportSeams ExportSeams::standard(ExportMessages& messages) {
    ExportSeams seams;
    seams.messages = &messages;
    seams.openDocument = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    seams.folder = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                       .filePath(product::name());
    seams.now = [] { return QDateTime::currentDateTime(); };
    return seams;
}

bool ConfirmWordExport(ExportMessages& messages) {
    return messages.confirm(QStringLiteral("提示"), QStringLiteral("您确定输出word文档吗？\r\n"));
}

WordDocument OpenTemplateDocument(const std::string& dataDir, const DocumentTable& table) {
    const std::filesystem::path path = std::filesystem::path(dataDir) / table.templateName;
    if (!std::filesystem::is_regular_file(path)) {
        throw TemplateError("您的电脑上没有相应的报表\n" + path.string());
    }
    WordDocument document = [&] {
        try {
            return WordDocument::openTemplate(path);
        } catch (const TemplateError&) {
            throw;
        } catch (const DocumentError& e) {
            throw TemplateError(e.what());
        }
    }();
    std::vector<std::string> missing;
    for (const std::string& bookmark : bookmarksOf(table)) {
        if (!document.hasBookmark(bookmark)) {
            missing.push_back(bookmark);
        }
    }
    if (!missing.empty()) {
        std::string names;
        for (size_t i = 0; i < missing.size() && i < kListedBookmarks; ++i) {
            names += (i == 0 ? "" : "、") + missing[i];
        }
        if (missing.size() > kListedBookmarks) {
            names += "等，共" + std::to_string(missing.size()) + "个";
        }
        throw TemplateError("模板“" + table.templateName + "”缺少书签：" + names +
                            "\n没有输出文档。");
    }
    return document;
}

void FillBookmark(WordDocument& document, const std::string& bookmark, const std::string& text) {
    document.insertAfter(bookmark, text);
}

FilledSet fillDocuments(TDM& dm, const DocumentSet& set) {
    FilledSet filled;
    for (const DocumentTable& table : set) {
        filled.documents.push_back({table.templateName, OpenTemplateDocument(dm.DataDir, table)});
    }
    const ExportContext context(dm);
    for (size_t i = 0; i < set.size(); ++i) {
        DocumentFills fills = fillsOf(set[i], context);
        for (const Fill& fill : fills.fills) {
            FillBookmark(filled.documents[i].document, fill.bookmark, fill.text);
        }
        filled.leftOut.insert(filled.leftOut.end(), fills.leftOut.begin(), fills.leftOut.end());
    }
    return filled;
}

QString documentFileName(const std::string& templateName, const std::string& item4,
                         const std::string& itemDqdm, const QDateTime& time) {
    QString key = fileNamePart(item4);
    if (!itemDqdm.empty() && itemDqdm != ".") {
        key += QLatin1Char('-') + fileNamePart(itemDqdm);
    }
    return templateBaseName(templateName) + QLatin1Char('_') + key + QLatin1Char('_') +
           time.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".docx");
}

QString leftOutMessage(const std::vector<LeftOutRows>& leftOut) {
    QStringList lines;
    for (const LeftOutRows& rows : leftOut) {
        lines << QStringLiteral("“%1”的%2名单只能写入%3行，共%4行，其余%5行没有写入。")
                     .arg(templateBaseName(rows.templateName), fromUtf8(listName(rows.list)))
                     .arg(rows.cap)
                     .arg(rows.rows)
                     .arg(rows.rows - rows.cap);
    }
    return lines.join(QLatin1Char('\n'));
}

void runWordExport(TDM& dm, const DocumentSet& set, const ExportSeams& seams) {
    ExportMessages& messages = *seams.messages;
    if (!ConfirmWordExport(messages)) {
        return;
    }
    FilledSet filled;
    try {
        filled = fillDocuments(dm, set);
    } catch (const TemplateError& e) {
        showError(messages, fromUtf8(e.what()));
        return;
    }

    const QDir folder(seams.folder);
    const QDateTime time = seams.now();
    const std::string item4 = dm.Qryhvel.field("ITEM_4").asText();
    const std::string itemDqdm = dm.Qryhvel.field("ITEM_DQDM").asText();
    QStringList written;
    try {
        if (!folder.mkpath(QStringLiteral("."))) {
            throw DocumentError("文件夹“" + seams.folder.toStdString() + "”无法建立");
        }
        for (const FilledDocument& document : filled.documents) {
            const QString path =
                freshPath(folder, documentFileName(document.templateName, item4, itemDqdm, time));
            document.document.save(path.toStdString());
            written << path;
        }
    } catch (const DocumentError& e) {
        showError(messages, fromUtf8(e.what()));
        return;
    }

    if (QString message = leftOutMessage(filled.leftOut); !message.isEmpty()) {
        showInformation(messages, message);
    }
    QStringList unopened;
    for (const QString& path : written) {
        if (!seams.openDocument(path)) {
            unopened << QDir::toNativeSeparators(path);
        }
    }
    if (!unopened.isEmpty()) {
        showInformation(messages, QStringLiteral("没有能打开文档的程序。文档已保存在：\n") +
                                      unopened.join(QLatin1Char('\n')));
    }
}

}  // namespace documents
