#include "FileIo.h"
