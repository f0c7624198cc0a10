#include "GbkCodec.h"
