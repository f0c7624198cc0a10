#include "MainTextDocuments.h"

#include "RegistrationDocuments.h"
#include "WordExport.h"

namespace documents {

namespace {

constexpr int kPersons = 45;

}  // namespace

DocumentTable mainTextCover(Family family, std::string templateName) {
    DocumentTable cover = registrationCover(family, std::move(templateName));
    cover.rows.push_back(BookmarkRow{"item_121", text::registrationDate()});
    return cover;
}

DocumentSet mainTextDocuments(Family family) {
    if (family == Family::rj) {
        return {mainTextCover(family, "基础、软科学封面(正文).dotx"),
                registrationForm(family, "基础、软科学登记表(正文).dotx", kPersons)};
    }
    return {mainTextCover(family, "应用技术封面(正文).dotx"),
            registrationForm(family, "应用技术登记表(正文).dotx", kPersons)};
}

void RJ_SButtonClick(TDM& dm, const ExportSeams& seams) {
    runWordExport(dm, mainTextDocuments(Family::rj), seams);
}

void YY_SButtonClick(TDM& dm, const ExportSeams& seams) {
    runWordExport(dm, mainTextDocuments(Family::yy), seams);
}

}  // namespace documents
