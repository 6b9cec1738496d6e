// The main window at its default size shows every worm and the gene bank's
// buttons whole, screenshot against screenshot, at whatever scale the
// environment sets (QT_SCALE_FACTOR; ctest runs this at 1 and at 2); and its
// worm grid grows with the window while the bank takes the rest.
#include "MainWindowFixture.h"

#include <QImage>
#include <QPixmap>

namespace zw::test {
namespace {

using WindowFit = MainWindowTest;

// `widget` as the whole window's screenshot shows it equals its own
// screenshot: nothing of it is cut off or covered.
void ExpectWhole(QWidget& window, const QImage& screen, QWidget& widget, const QString& name)
{
    const QRect rect(widget.mapTo(&window, QPoint(0, 0)), widget.size());
    ASSERT_TRUE(window.rect().contains(rect)) << name.toStdString() << " lies outside the window";
    const qreal ratio = screen.devicePixelRatio();
    const QRect pixels(QPoint(qRound(rect.x() * ratio), qRound(rect.y() * ratio)),
                       QSize(qRound(rect.width() * ratio), qRound(rect.height() * ratio)));
    const QImage own = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage shown = screen.copy(pixels).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(own.size(), shown.size()) << name.toStdString();
    EXPECT_TRUE(own == shown) << name.toStdString() << " is not shown whole";
}

TEST_F(WindowFit, TheDefaultWindowShowsEveryWormAndTheBankButtonsWholeAndTheGridGrowsWithIt)
{
    QApplication::processEvents();
    const QImage screen = Form->grab().toImage();
    TWormPanel* panel = Panel(0);
    for (int i = 0; i < panel->WormCount(); ++i)
        ExpectWhole(*Form, screen, *panel->Worms(i), QString("worm %1").arg(i + 1));
    for (const char* name : {"SpeedButtonSaveGenes", "SpeedButtonLoadGenes", "SpeedButtonClearGenes"}) {
        QToolButton* button = Find(name);
        ExpectWhole(*Form, screen, *button, name);
        EXPECT_GE(button->width(), button->sizeHint().width()) << name << " cuts its caption";
    }

    // A larger window: larger worms, and the bank beside them takes the rest.
    const int side = panel->WormWidth();
    QWidget* bank = Find<QWidget>("GeneBox1");
    const int bankWidth = bank->width();
    Form->resize(Form->width() + 400, Form->height() + 200);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_GT(panel->WormWidth(), side + 30);
    EXPECT_EQ(panel->WormHeight(), panel->WormWidth());
    EXPECT_GT(bank->width(), bankWidth);
    const QImage larger = Form->grab().toImage();
    for (int i = 0; i < panel->WormCount(); ++i)
        ExpectWhole(*Form, larger, *panel->Worms(i), QString("grown worm %1").arg(i + 1));
}

} // namespace
} // namespace zw::test
