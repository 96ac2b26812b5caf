#include "LevelBar.h"

#include <QProgressBar>

void SetBarPosition(QProgressBar* bar, int position)
{
    bar->setValue(qBound(bar->minimum(), position, bar->maximum()));
}
