#include "Unit1.h"

void TMainForm::connectPageHandlers() {}
