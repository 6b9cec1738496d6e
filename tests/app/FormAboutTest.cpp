// The about window: version fields, the worm that mutates only while shown,
// closing, the links, and the one clock seeding.
#include "ui/FrmAbout.h"
#include "ui/Version.h"
#include "common/Random.h"
#include "support/ScriptedDialogs.h"
#include "worms/Worm.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace zw {
namespace {

std::vector<uint8_t> Genes(const TWorm& worm)
{
    return std::vector<uint8_t>(worm.Gene().Data(), worm.Gene().Data() + worm.Size());
}

QString Text(const TFormAbout& form, const char* name)
{
    const auto* label = form.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

QColor TextColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

// Lets the event loop run until `condition` holds or a generous limit passes.
template <typename F>
bool WaitFor(F condition)
{
    for (int i = 0; i < 500 && !condition(); ++i)
        QTest::qWait(10);
    return condition();
}

TEST(FormAbout, ShowsTheBuildsVersionFieldsUnderTheirCaptions)
{
    TFormAbout form;
    const char* captions[] = {"Company", "File Description", "File version", "Internal name", "Copyright",
                              "Trademarks", "Original name", "Product name", "Product version", "Comments"};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Text(form, QStringLiteral("StaticText%1").arg(i + 1).toLatin1().constData()), captions[i]);

    auto shown = [](const char* value) { return *value ? QString::fromUtf8(value) : QStringLiteral("Unknown"); };
    EXPECT_EQ(Text(form, "StaticTextCompanyName"), shown(version::CompanyName));
    EXPECT_EQ(Text(form, "StaticTextFileDescription"), shown(version::FileDescription));
    EXPECT_EQ(Text(form, "StaticTextFileVersion"), shown(version::FileVersion));
    EXPECT_EQ(Text(form, "StaticTextInternalName"), shown(version::InternalName));
    EXPECT_EQ(Text(form, "StaticTextLegalCopyRight"), shown(version::LegalCopyright));
    EXPECT_EQ(Text(form, "StaticTextLegalTradeMarks"), shown(version::LegalTrademarks));
    EXPECT_EQ(Text(form, "StaticTextOriginalFileName"), shown(version::OriginalFilename));
    EXPECT_EQ(Text(form, "StaticTextProductName"), shown(version::ProductName));
    EXPECT_EQ(Text(form, "StaticTextProductVersion"), shown(version::ProductVersion));
    EXPECT_EQ(Text(form, "StaticTextComments"), shown(version::Comments));

    EXPECT_EQ(form.windowTitle(), "About Zwirbels");
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form.size(), QSize(552, 298));
    EXPECT_EQ(form.Worm()->Size(), 1250);
    EXPECT_EQ(form.Worm()->geometry(), QRect(30, 30, 240, 240));
    EXPECT_FALSE(form.Worm()->DrawLines());
    EXPECT_FALSE(form.Worm()->Audible());
}

TEST(FormAbout, WithoutVersionFieldsEveryValueIsUnknown)
{
    TFormAbout form(nullptr, TVersionFields{});
    for (const char* name : {"StaticTextCompanyName", "StaticTextFileDescription", "StaticTextFileVersion",
                             "StaticTextInternalName", "StaticTextLegalCopyRight", "StaticTextLegalTradeMarks",
                             "StaticTextOriginalFileName", "StaticTextProductName", "StaticTextProductVersion",
                             "StaticTextComments"})
        EXPECT_EQ(Text(form, name), "Unknown") << name;
}

TEST(FormAbout, TheWormMutatesOnlyWhileTheWindowIsShown)
{
    TFormAbout form;
    EXPECT_FALSE(form.Timer1()->isActive());
    EXPECT_EQ(form.Timer1()->interval(), 55);

    const std::vector<uint8_t> atStart = Genes(*form.Worm());
    QTest::qWait(150);
    EXPECT_EQ(Genes(*form.Worm()), atStart); // never shown yet

    form.show();
    EXPECT_TRUE(form.Timer1()->isActive());
    EXPECT_TRUE(WaitFor([&] { return Genes(*form.Worm()) != atStart; }));
    EXPECT_EQ(form.Worm()->MutationProbability(), 6);
    EXPECT_EQ(form.Worm()->MutationRange(), 5);

    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1()->isActive());
    const std::vector<uint8_t> atHide = Genes(*form.Worm());
    QTest::qWait(150);
    EXPECT_EQ(Genes(*form.Worm()), atHide);

    form.show(); // goes on from where it was left
    EXPECT_EQ(Genes(*form.Worm()), atHide);
    EXPECT_TRUE(form.Timer1()->isActive());
    EXPECT_TRUE(WaitFor([&] { return Genes(*form.Worm()) != atHide; }));
}

TEST(FormAbout, PlainEscapeOrEnterAndClicksOutsideTheLinksClose)
{
    TFormAbout form;
    form.SetUrlOpener([](const QUrl&) {});
    auto closesOn = [&form](auto&& action) {
        form.show();
        action();
        return !form.isVisible();
    };
    EXPECT_FALSE(closesOn([&] { QTest::keyClick(&form, Qt::Key_Escape, Qt::ShiftModifier); }));
    EXPECT_FALSE(closesOn([&] { QTest::keyClick(&form, Qt::Key_Return, Qt::ControlModifier); }));
    EXPECT_FALSE(closesOn([&] { QTest::keyClick(&form, Qt::Key_A); }));
    EXPECT_TRUE(closesOn([&] { QTest::keyClick(&form, Qt::Key_Escape); }));
    EXPECT_TRUE(closesOn([&] { QTest::keyClick(&form, Qt::Key_Return); }));
    EXPECT_TRUE(closesOn([&] { QTest::keyClick(&form, Qt::Key_Enter, Qt::KeypadModifier); }));

    for (const char* name : {"StaticText1", "StaticTextCompanyName", "StaticTextLegalTradeMarks", "Panel1"}) {
        auto* target = form.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(target, nullptr) << name;
        EXPECT_TRUE(closesOn([&] { QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(3, 3)); })) << name;
        for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton})
            EXPECT_FALSE(closesOn([&] { QTest::mouseClick(target, other, {}, QPoint(3, 3)); })) << name;
    }
    EXPECT_FALSE(closesOn([&] { QTest::mouseClick(form.StaticTextComments(), Qt::LeftButton, {}, QPoint(3, 3)); }));
    EXPECT_FALSE(closesOn([&] { QTest::mouseClick(form.StaticTextLegalCopyRight(), Qt::LeftButton, {}, QPoint(3, 3)); }));
}

TEST(FormAbout, LinksOpenTheWebPageAndAMailToTheCommentsText)
{
    TVersionFields fields = BuildVersionFields();
    fields[9] = "https://no.mail.example/"; // no check that it is an address
    TFormAbout form(nullptr, fields);
    std::vector<QUrl> opened;
    form.SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    form.show();

    QLabel* mail = form.StaticTextComments();
    EXPECT_EQ(TextColor(mail), QColor(0xFF, 0xFF, 0x00));
    EXPECT_TRUE(mail->font().underline());
    EXPECT_EQ(mail->cursor().shape(), Qt::PointingHandCursor);

    QTest::mousePress(mail, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(TextColor(mail), QColor(0xFF, 0xFF, 0x00));
    EXPECT_TRUE(opened.empty());
    QTest::mouseRelease(mail, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(TextColor(mail), QColor(0xFF, 0xFF, 0xC4)); // and keeps the caption colour
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), "mailto:https://no.mail.example/");

    // Only the left button opens a link, or closes the window.
    for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton})
        QTest::mouseClick(form.StaticTextLegalCopyRight(), other, {}, QPoint(3, 3));
    EXPECT_EQ(opened.size(), 1u);
    QTest::mouseClick(form.StaticTextLegalCopyRight(), Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], QUrl(QString::fromUtf8(version::WebAddress)));
    EXPECT_TRUE(form.isVisible());

    // A failing opener is not reported and does not disturb the window.
    TScriptedDialogs dialogs;
    TScopedDialogs scoped(dialogs);
    form.SetUrlOpener([](const QUrl&) { throw std::runtime_error("no browser"); });
    QTest::mouseClick(mail, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(dialogs.Errors.isEmpty());
}

TEST(FormAbout, CreationSeedsTheGeneratorAfterDrawingTheWorm)
{
    auto draws = [] {
        std::vector<int32_t> values;
        for (int i = 0; i < 8; ++i)
            values.push_back(Random(1 << 30));
        return values;
    };
    RandSeed(0);
    TWorm unseeded;
    unseeded.SetSize(1250);
    const std::vector<int32_t> fixedDraws = draws();

    RandSeed(0);
    TFormAbout form;
    EXPECT_EQ(Genes(*form.Worm()), Genes(unseeded)); // the same first worm on every start
    EXPECT_NE(draws(), fixedDraws);
}

} // namespace
} // namespace zw
