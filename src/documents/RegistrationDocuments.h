#pragma once

#include <string>

#include "DocumentTable.h"

class TDM;

namespace documents {

struct ExportSeams;

// The cover of the registration form: what it fills of the record, in order.
DocumentTable registrationCover(Family family, std::string templateName);
// The registration form, with the completing persons up to personsCap rows.
DocumentTable registrationForm(Family family, std::string templateName, int personsCap);

// The cover, then the registration form, of the family.
DocumentSet registrationDocuments(Family family);

// The print dialog's "科技成果登记表(Word)" buttons: basic theory and soft science (RJ_Button)
// and applied technology (YY_Button).
void RJ_ButtonClick(TDM& dm, const ExportSeams& seams);
void YY_ButtonClick(TDM& dm, const ExportSeams& seams);

}  // namespace documents
