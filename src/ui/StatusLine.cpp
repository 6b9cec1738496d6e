#include "ui/StatusLine.h"

#include <QPainter>
#include <QStringList>
#include <QStyle>

#include <cstdio>

namespace zw {

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent)
{
    setObjectName("StatusLine");
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    // A long message is cut with an ellipsis at the window's edge (the
    // tooltip holds it whole): its width must not widen the window or
    // squeeze what sits beside it, such as a search's progress.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TStatusLine::Show(TStatusTopic topic, const QString& message)
{
    QString& slot = FMessages.at(Index(topic));
    if (slot == message)
        return;
    slot = message;
    // What went wrong or changed stays findable after the line has moved on;
    // hints only restate the keys.
    if (topic != TStatusTopic::Hint && !message.isEmpty())
        std::fprintf(stderr, "zwirbels: %s\n", message.toLocal8Bit().constData());
    Refresh();
}

QString TStatusLine::ShownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void TStatusLine::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), ShownText(), foregroundRole());
}

void TStatusLine::Refresh()
{
    QStringList all;
    for (const QString& message : FMessages)
        if (!message.isEmpty())
            all << message;
    setText(all.isEmpty() ? QString() : all.front());
    setToolTip(all.join('\n'));
}

} // namespace zw
