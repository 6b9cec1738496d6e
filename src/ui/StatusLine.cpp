#include "ui/StatusLine.h"

#include <QStringList>

namespace zw {

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent)
{
    setObjectName("StatusLine");
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void TStatusLine::Show(TStatusTopic topic, const QString& message)
{
    QString& slot = FMessages.at(Index(topic));
    if (slot == message)
        return;
    slot = message;
    Refresh();
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
