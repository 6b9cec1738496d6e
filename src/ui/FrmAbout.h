#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <string_view>

class QFrame;
class QLabel;
class QTimer;
class QUrl;

namespace zw {

class TWorm;

// The ten version fields the about window shows, in display order.
inline constexpr int kVersionFieldCount = 10;
using TVersionFields = std::array<std::string_view, kVersionFieldCount>;
// The fields compiled into the program.
TVersionFields BuildVersionFields();

// The about window: borderless, the program's version fields beside a worm of
// 1250 genes that keeps mutating while the window is shown. Escape, Enter or a
// click anywhere but on the two links closes (hides) it. Creating it seeds the
// random generator from the clock, the program's only seeding; the worm's
// genes are drawn before, so it looks the same on every start.
class TFormAbout : public QWidget {
    Q_OBJECT

public:
    using TUrlOpener = std::function<void(const QUrl& url)>;

    // An empty field shows "Unknown".
    explicit TFormAbout(QWidget* parent = nullptr, const TVersionFields& fields = BuildVersionFields());

    QLabel* StaticTextLegalCopyRight() const { return FLinkWeb; }
    QLabel* StaticTextComments() const { return FLinkMail; }
    TWorm* Worm() const { return FWorm; }
    QTimer* Timer1() const { return FTimer1; }

    // Where links go; the system's default action unless a test installs its own.
    void SetUrlOpener(TUrlOpener opener) { FUrlOpener = std::move(opener); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Timer1Timer();
    void OpenLink(const QLabel* link);
    static void SetTextColor(QLabel* label, const QColor& color);

    QFrame* FPanel1;
    QLabel* FLinkWeb = nullptr;
    QLabel* FLinkMail = nullptr;
    TWorm* FWorm;
    QTimer* FTimer1;
    TUrlOpener FUrlOpener;
};

} // namespace zw
