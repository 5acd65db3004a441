// The exact engine's figures as they are printed: the texts that the console lines, the report
// and the table are written from (report/report.h), as the model's are (report/texts.h).
#pragma once

#include "exact/figures.h"
#include "report/texts.h"

namespace scab::exact {

// Each figure's certified "%f" text, or "undefined"; the table's rows in line order.
FigureTexts texts_of(const ExactFigures& figures);

}  // namespace scab::exact
