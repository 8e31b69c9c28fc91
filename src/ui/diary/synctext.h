#pragma once

#include "store/conflict/merge.h"

#include <QString>

// The status line after conflict copies were merged: what was merged, kept or moved aside, and
// where the copies went. Empty when the report has no step.
QString syncStatusText(const conflict::Report &report);
