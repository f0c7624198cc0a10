#include "TableText.h"
