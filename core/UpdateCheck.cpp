// Update check: once per process and at most once a day, on a background thread.

#include "core/OxladeEQProcessor.h"

namespace oxlade
{
void OxladeEQProcessor::startUpdateCheck() {}
} // namespace oxlade
