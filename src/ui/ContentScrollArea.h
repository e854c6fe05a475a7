// A scroll area that asks for its content's whole size (a plain one asks for at most 24 lines of
// text): a window opens showing every box, and scrolls only on a screen lower than they need.
#pragma once

#include <QScrollArea>

namespace tarnvale {

class ContentScrollArea : public QScrollArea
{
  public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override
    {
        const QWidget *content = widget();
        const int frame = 2 * frameWidth();
        return content ? content->sizeHint() + QSize(frame, frame) : QScrollArea::sizeHint();
    }
};

} // namespace tarnvale
