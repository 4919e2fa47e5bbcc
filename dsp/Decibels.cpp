#include "dsp/Decibels.h"
