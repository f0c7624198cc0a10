#pragma once

#include <string>

#include "DocumentTable.h"

class TDM;

namespace documents {

struct ExportSeams;

// The cover of the main text: the registration form's cover with the registration date.
DocumentTable mainTextCover(Family family, std::string templateName);

// The cover of the main text, then the main text: the registration form of the family with
// up to 45 completing persons.
DocumentSet mainTextDocuments(Family family);

// The print dialog's "打印科技成果登记表(Word)正文" buttons: basic theory and soft science
// (RJ_SButton) and applied technology (YY_SButton).
void RJ_SButtonClick(TDM& dm, const ExportSeams& seams);
void YY_SButtonClick(TDM& dm, const ExportSeams& seams);

}  // namespace documents
