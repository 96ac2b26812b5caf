// Level bars clamp: a position outside the bar's range ends at the nearest
// end. QProgressBar::setValue silently ignores such values instead, which
// would leave a stale level on show.
#pragma once

class QProgressBar;

void SetBarPosition(QProgressBar* bar, int position);
