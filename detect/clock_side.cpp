#include "detect/recognizer.h"
