#include "ecc200/ecc200.h"
