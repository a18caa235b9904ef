#include "recognition/stage_timer.h"
