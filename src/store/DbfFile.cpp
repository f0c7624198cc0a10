#include "DbfFile.h"
