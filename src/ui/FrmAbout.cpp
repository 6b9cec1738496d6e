#include "ui/FrmAbout.h"

#include "ui/Version.h"
#include "common/Guard.h"
#include "common/Random.h"
#include "worms/Worm.h"

#include <QDesktopServices>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace zw {

namespace {

const QColor kWindowColor(0xC0, 0xC0, 0xC0);
const QColor kPanelColor(0x4A, 0x4A, 0x4A);
const QColor kCaptionColor(0xFF, 0xFF, 0xC4);
const QColor kLinkColor(0xFF, 0xFF, 0x00);

struct TFieldLabels {
    const char* Caption;
    const char* ValueName;
};

// Display order; BuildVersionFields follows it.
constexpr std::array<TFieldLabels, kVersionFieldCount> kFieldLabels{{
    {"Company", "StaticTextCompanyName"},
    {"File Description", "StaticTextFileDescription"},
    {"File version", "StaticTextFileVersion"},
    {"Internal name", "StaticTextInternalName"},
    {"Copyright", "StaticTextLegalCopyRight"},
    {"Trademarks", "StaticTextLegalTradeMarks"},
    {"Original name", "StaticTextOriginalFileName"},
    {"Product name", "StaticTextProductName"},
    {"Product version", "StaticTextProductVersion"},
    {"Comments", "StaticTextComments"},
}};
constexpr int kCopyrightField = 4;
constexpr int kCommentsField = 9;

constexpr int kWormGeneCount = 1250;
constexpr int kAnimationInterval = 55; // ms

} // namespace

TVersionFields BuildVersionFields()
{
    return {version::CompanyName,    version::FileDescription, version::FileVersion,
            version::InternalName,   version::LegalCopyright,  version::LegalTrademarks,
            version::OriginalFilename, version::ProductName,   version::ProductVersion,
            version::Comments};
}

TFormAbout::TFormAbout(QWidget* parent, const TVersionFields& fields)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , FPanel1(new QFrame(this))
    , FWorm(nullptr)
    , FTimer1(new QTimer(this))
    , FUrlOpener([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("About Zwirbels"));
    setFixedSize(552, 298);
    setFocusPolicy(Qt::StrongFocus);

    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, kWindowColor);
    setPalette(windowPalette);
    setAutoFillBackground(true);

    FPanel1->setObjectName(QStringLiteral("Panel1"));
    FPanel1->setGeometry(rect());
    FPanel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    FPanel1->setLineWidth(2);
    QPalette panelPalette = FPanel1->palette();
    panelPalette.setColor(QPalette::Window, kPanelColor);
    panelPalette.setColor(QPalette::WindowText, kCaptionColor);
    FPanel1->setPalette(panelPalette);
    FPanel1->setAutoFillBackground(true);
    QFont panelFont = FPanel1->font();
    panelFont.setPixelSize(13);
    FPanel1->setFont(panelFont);

    const int rowHeight = 26;
    for (int i = 0; i < kVersionFieldCount; ++i) {
        const int top = 27 + i * rowHeight;
        auto* caption = new QLabel(QString::fromLatin1(kFieldLabels[i].Caption), FPanel1);
        caption->setObjectName(QStringLiteral("StaticText%1").arg(i + 1));
        caption->setGeometry(296, top, 100, rowHeight - 4);

        const QString text = fields[i].empty()
            ? QStringLiteral("Unknown")
            : QString::fromUtf8(fields[i].data(), static_cast<qsizetype>(fields[i].size()));
        auto* value = new QLabel(text, FPanel1);
        value->setObjectName(QString::fromLatin1(kFieldLabels[i].ValueName));
        value->setGeometry(400, top, width() - 400 - 6, rowHeight - 4);
        value->setToolTip(text); // the column is narrow; long values are cut
        if (i == kCopyrightField || i == kCommentsField) {
            QFont linkFont = value->font();
            linkFont.setUnderline(true);
            value->setFont(linkFont);
            SetTextColor(value, kLinkColor);
            value->setCursor(Qt::PointingHandCursor);
            value->installEventFilter(this);
            (i == kCopyrightField ? FLinkWeb : FLinkMail) = value;
        }
    }

    // The window's own worm: never audible, in no channel, so never translated.
    FWorm = new TWorm(FPanel1);
    FWorm->setObjectName(QStringLiteral("Worm1"));
    FWorm->SetSize(kWormGeneCount);
    FWorm->setGeometry(30, 30, 240, 240);
    FWorm->SetDrawLines(false);

    FTimer1->setObjectName(QStringLiteral("Timer1"));
    FTimer1->setInterval(kAnimationInterval);
    connect(FTimer1, &QTimer::timeout, this, [this] { RunGuarded([this] { Timer1Timer(); }); });

    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    // The worm above was drawn from the fixed initial state; every draw from
    // here on follows this one seeding.
    Randomize();
}

void TFormAbout::Timer1Timer()
{
    FWorm->SetMutationProbability(6);
    FWorm->SetMutationRange(5);
    FWorm->Mutate();
}

void TFormAbout::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FTimer1->start();
}

void TFormAbout::hideEvent(QHideEvent* event)
{
    FTimer1->stop();
    QWidget::hideEvent(event);
}

void TFormAbout::keyPressEvent(QKeyEvent* event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const int key = event->key();
    if (plain && (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Clicks on the window, the panel and the plain labels all end up here (labels
// and the panel pass them on); the links and the worm keep theirs.
void TFormAbout::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void TFormAbout::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        close();
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event)
{
    auto* link = qobject_cast<QLabel*>(watched);
    if (!link || (link != FLinkWeb && link != FLinkMail))
        return QWidget::eventFilter(watched, event);
    const bool mouseButton = event->type() == QEvent::MouseButtonPress ||
                             event->type() == QEvent::MouseButtonRelease ||
                             event->type() == QEvent::MouseButtonDblClick;
    // Other buttons neither open a link nor reach the window, which would close.
    if (mouseButton && static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return true;
    if (event->type() == QEvent::MouseButtonPress) {
        SetTextColor(link, kLinkColor);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        SetTextColor(link, kCaptionColor);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (link->rect().contains(mouse->position().toPoint()))
            OpenLink(link);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFormAbout::OpenLink(const QLabel* link)
{
    const QUrl url = link == FLinkWeb
        ? QUrl(QString::fromUtf8(version::WebAddress))
        : QUrl(QStringLiteral("mailto:") + link->text());
    if (!FUrlOpener)
        return;
    // Nothing is reported when the system cannot open it.
    try {
        FUrlOpener(url);
    } catch (...) {
    }
}

void TFormAbout::SetTextColor(QLabel* label, const QColor& color)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

} // namespace zw
