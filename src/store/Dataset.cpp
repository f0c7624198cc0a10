#include "Dataset.h"
