#pragma once

#include <QString>

// The help text: 54 lines, each after CR LF, without a final line break.
QString BuildHelpText();
