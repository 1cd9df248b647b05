// The tray icon around a stand-in main window (with and without a
// notification area, through the seam), and the program's own pictures.

#include <QMenu>
#include <QPainter>
#include <QWidget>
#include <cstdlib>
#include <set>

#include "app/ToolBarIcons.h"
#include "app/TrayIcon.h"
#include "listctrl/ListTestSupport.h"

namespace bexora::test {
namespace {

static ::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

bool g_tray = true;
bool FakeTray() {
    return g_tray;
}

// Counts how often the program hid the window (the window system's own
// hiding of a minimised window does not count).
class HideCounter : public QObject {
public:
    int hides = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Hide && !e->spontaneous()) ++hides;
        return false;
    }
};

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = CTrayIcon::s_trayAvailable;
        CTrayIcon::s_trayAvailable = &FakeTray;
        g_tray = true;
        m_popup.addAction("&New");
        m_popup.addAction("E&xit");
        m_frame.installEventFilter(&m_hides);
        m_tray = std::make_unique<CTrayIcon>(&m_frame, &m_popup);
        m_tray->SetFallback([this](const std::string& title, const std::string& text) {
            m_fallback.emplace_back(title, text);
        });
        ShowAndSettle(m_frame, 400, 300);
    }
    void TearDown() override {
        m_popup.hide();
        m_tray.reset();
        CTrayIcon::s_trayAvailable = m_saved;
    }
    void Minimise() {
        m_frame.setWindowState(m_frame.windowState() | Qt::WindowMinimized);
        QApplication::processEvents();
    }

    bool (*m_saved)() = nullptr;
    QWidget m_frame;
    QMenu m_popup;
    HideCounter m_hides;
    std::unique_ptr<CTrayIcon> m_tray;
    std::vector<std::pair<std::string, std::string>> m_fallback;
};

TEST_F(TrayTest, MinimisingHidesTheWindowInTheTrayOnce) {
    Minimise();
    EXPECT_TRUE(m_tray->IsInTray());
    EXPECT_TRUE(m_tray->Icon()->isVisible());
    EXPECT_FALSE(m_frame.isVisible());
    // Hidden instead of minimised, so it comes back as a normal window.
    EXPECT_FALSE(m_frame.windowState() & Qt::WindowMinimized);
    EXPECT_EQ(m_hides.hides, 1);
    EXPECT_EQ(m_tray->Icon()->toolTip(), "Bexora");

    Minimise();
    EXPECT_FALSE(m_tray->OnSysMinimize());
    EXPECT_EQ(m_hides.hides, 1);
    EXPECT_TRUE(m_tray->IsInTray());
}

TEST_F(TrayTest, DoubleClickAndBalloonClickBringTheWindowBack) {
    Minimise();
    m_tray->OnActivated(QSystemTrayIcon::Trigger);  // a single click does nothing
    m_tray->OnActivated(QSystemTrayIcon::MiddleClick);
    EXPECT_TRUE(m_tray->IsInTray());
    EXPECT_FALSE(m_frame.isVisible());

    m_tray->OnActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(m_tray->IsInTray());
    EXPECT_FALSE(m_tray->Icon()->isVisible());
    EXPECT_TRUE(m_frame.isVisible());
    EXPECT_FALSE(m_frame.windowState() & Qt::WindowMinimized);

    Minimise();
    ASSERT_TRUE(m_tray->IsInTray());
    m_tray->OnMessageClicked();
    EXPECT_FALSE(m_tray->IsInTray());
    EXPECT_FALSE(m_tray->Icon()->isVisible());
    EXPECT_TRUE(m_frame.isVisible());

    // A second restore has nothing to do and minimising works again.
    m_tray->Restore();
    EXPECT_TRUE(m_frame.isVisible());
    Minimise();
    EXPECT_TRUE(m_tray->IsInTray());
}

TEST_F(TrayTest, AMaximisedWindowComesBackMaximised) {
    m_frame.showMaximized();
    QApplication::processEvents();
    Minimise();
    ASSERT_TRUE(m_tray->IsInTray());
    m_tray->OnActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(m_frame.isVisible());
    EXPECT_TRUE(m_frame.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(m_frame.windowState() & Qt::WindowMinimized);
}

TEST_F(TrayTest, RightButtonShowsThePopupWithItsFirstItemAsDefault) {
    Minimise();
    m_tray->OnActivated(QSystemTrayIcon::Context);
    QApplication::processEvents();
    EXPECT_TRUE(m_popup.isVisible());
    EXPECT_EQ(m_popup.defaultAction(), m_popup.actions().first());
    EXPECT_TRUE(m_tray->IsInTray());  // the menu does not restore the window
}

TEST_F(TrayTest, WithoutATrayTheWindowMinimisesAndBalloonsGoToTheFallback) {
    g_tray = false;
    Minimise();
    EXPECT_FALSE(m_tray->IsInTray());
    EXPECT_FALSE(m_tray->Icon()->isVisible());
    EXPECT_TRUE(m_frame.windowState() & Qt::WindowMinimized);
    EXPECT_EQ(m_hides.hides, 0);

    m_tray->ShowBalloon("Outbid", "Item 1 \xe9t\xe9");
    ASSERT_EQ(m_fallback.size(), 1u);
    EXPECT_EQ(m_fallback[0].first, "Outbid");
    EXPECT_EQ(m_fallback[0].second, "Item 1 \xe9t\xe9");  // the bytes as given
}

TEST_F(TrayTest, BalloonsWithATrayGoOnlyToTheShownIcon) {
    m_tray->ShowBalloon("Won", "while the window is open");
    EXPECT_TRUE(m_fallback.empty());  // dropped: the icon is not shown
    EXPECT_FALSE(m_tray->Icon()->isVisible());

    Minimise();
    m_tray->ShowBalloon(std::string(100, 't'), std::string(400, 'x'));
    EXPECT_TRUE(m_fallback.empty());
    EXPECT_TRUE(m_tray->IsInTray());  // a balloon does not restore the window
}

TEST_F(TrayTest, DestroyingTheTrayLeavesTheWindowUsable) {
    Minimise();
    ASSERT_TRUE(m_tray->IsInTray());
    m_tray.reset();
    // The frame is no longer watched: minimising is left to the window.
    m_frame.show();
    Minimise();
    EXPECT_TRUE(m_frame.windowState() & Qt::WindowMinimized);
}

// ---- pictures ----

QImage Picture(const QIcon& icon, QIcon::Mode mode, int px = 24) {
    return icon.pixmap(QSize(px, px), 1.0, mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

int OpaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 128;
    return n;
}

TEST(ToolBarIconsTest, EveryButtonHasItsOwnPictureInThreeModes) {
    std::vector<int> ids;
    for (int id : ToolBarButtons())
        if (id) ids.push_back(id);
    ASSERT_EQ(ids.size(), 18u);
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), ids.size());

    std::vector<QImage> normals;
    for (int id : ids) {
        SCOPED_TRACE(id);
        QIcon icon = ToolBarIcon(id);
        ASSERT_FALSE(icon.isNull());
        QImage normal = Picture(icon, QIcon::Normal);
        QImage hot = Picture(icon, QIcon::Active);
        QImage disabled = Picture(icon, QIcon::Disabled);
        EXPECT_EQ(normal.size(), QSize(24, 24));
        EXPECT_NE(normal, hot);
        EXPECT_NE(normal, disabled);
        EXPECT_NE(hot, disabled);
        // A real picture, not a speck or a filled square.
        EXPECT_GT(OpaquePixels(normal), 60);
        EXPECT_LT(OpaquePixels(normal), 24 * 24 - 40);
        // Disabled pictures carry no colour.
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                QRgb c = disabled.pixel(x, y);
                if (qAlpha(c) == 0) continue;
                EXPECT_LE(std::abs(qRed(c) - qBlue(c)), 24) << x << "," << y;
            }
        for (const QImage& other : normals) EXPECT_NE(normal, other);
        normals.push_back(normal);
    }
    EXPECT_TRUE(ToolBarIcon(0).isNull());
    EXPECT_TRUE(ToolBarIcon(139).isNull());
    EXPECT_TRUE(ToolBarIcon(57602).isNull());
}

TEST(ToolBarIconsTest, ProgramIconAndSplashPicture) {
    QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    QList<QSize> sizes = icon.availableSizes();
    for (int px : {16, 32, 48, 256}) EXPECT_TRUE(sizes.contains(QSize(px, px))) << px;
    QImage small = Picture(icon, QIcon::Normal, 16);
    QImage big = Picture(icon, QIcon::Normal, 256);
    EXPECT_EQ(small.size(), QSize(16, 16));
    EXPECT_GT(OpaquePixels(big), 256 * 256 / 2);  // a tile, not a line drawing
    EXPECT_EQ(qAlpha(big.pixel(2, 2)), 0);        // with rounded corners

    QPixmap splash = SplashPicture(QSize(480, 240));
    EXPECT_EQ(splash.size(), QSize(480, 240));
    QImage s = splash.toImage();
    std::set<QRgb> colours;
    for (int y = 0; y < s.height(); y += 4)
        for (int x = 0; x < s.width(); x += 4) colours.insert(s.pixel(x, y));
    EXPECT_GT(colours.size(), 50u);
    EXPECT_TRUE(SplashPicture(QSize(1, 1)).size() == QSize(1, 1));  // tiny sizes do not crash
    // On a screen scaled twice: the same picture in twice the pixels, not blown up.
    const QPixmap sharp = SplashPicture(QSize(480, 240), 2);
    EXPECT_EQ(sharp.size(), QSize(960, 480));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(480, 240));
    EXPECT_EQ(sharp.toImage().pixel(959, 479), s.pixel(479, 239)) << "the ground reaches the corner";
}

// A sheet of every picture: the 24 px pictures in their three modes drawn
// three times as large, then the 48 px one and the 24 px one on a dark bar.
// BEXORA_ICON_SHEET names a PNG file to keep it in.
TEST(ToolBarIconsTest, SheetOfAllPictures) {
    const int cell = 80;
    QImage sheet(cell * 5, cell * 9, QImage::Format_ARGB32);
    QImage second = sheet;
    sheet.fill(QColor(240, 240, 240));
    second.fill(QColor(240, 240, 240));
    int row = 0;
    for (int id : ToolBarButtons()) {
        if (!id) continue;
        QImage& target = row < 9 ? sheet : second;
        QPainter p(&target);
        const int y = (row % 9) * cell;
        QIcon icon = ToolBarIcon(id);
        int col = 0;
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Active, QIcon::Disabled}) {
            QPixmap small = icon.pixmap(QSize(24, 24), 1.0, mode);
            p.drawPixmap(col++ * cell + 4, y + 4,
                         small.scaled(72, 72, Qt::KeepAspectRatio, Qt::FastTransformation));
        }
        p.drawPixmap(col * cell + 16, y + 16, icon.pixmap(QSize(48, 48), 1.0, QIcon::Normal));
        p.fillRect(QRect(4 * cell, y, cell, cell), QColor(45, 45, 48));
        p.drawPixmap(4 * cell + 28, y + 28, icon.pixmap(QSize(24, 24), 1.0, QIcon::Normal));
        ++row;
    }
    EXPECT_EQ(row, 18);
    if (const char* path = std::getenv("BEXORA_ICON_SHEET")) {
        EXPECT_TRUE(sheet.save(path));
        EXPECT_TRUE(second.save(QString(path) + ".2.png"));
        QImage app(256 + 48 + 16 + 24, 256, QImage::Format_ARGB32);
        app.fill(QColor(240, 240, 240));
        QPainter p(&app);
        p.drawPixmap(0, 0, AppIcon().pixmap(256, 256));
        p.drawPixmap(264, 0, AppIcon().pixmap(48, 48));
        p.drawPixmap(264, 60, AppIcon().pixmap(16, 16));
        p.drawPixmap(264, 90, AppIcon().pixmap(32, 32));
        p.end();
        EXPECT_TRUE(app.save(QString(path) + ".app.png"));
        EXPECT_TRUE(SplashPicture(QSize(480, 260)).save(QString(path) + ".splash.png"));
    }
}

}  // namespace
}  // namespace bexora::test
