#pragma once

#include "DocumentTable.h"

class TDM;

namespace documents {

struct ExportSeams;

// The application for the appraisal of an achievement, for records of every type.
DocumentTable appraisalApplication();
// The appraisal certificate, for records of every type.
DocumentTable appraisalCertificate();

// The print dialog's "科学技术成果鉴定申请表(Word)" (Button5) and "科学技术成果鉴定证书(Word)"
// (Button6) buttons.
void Button5Click(TDM& dm, const ExportSeams& seams);
void Button6Click(TDM& dm, const ExportSeams& seams);

}  // namespace documents
