#include "shell/frame_exchange.h"

FrameExchange frameExchange;
