// Printing the item list: pages, footers, the columns as shown, every row
// once, long texts cut; into a PDF and onto a recording device that keeps
// the texts each page drew.

#include <QFile>
#include <QHeaderView>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <cstdlib>

#include "ListUiSupport.h"
#include "listview/ui/ListPrint.h"

namespace bexora::test {
namespace {

// A paint device that remembers the texts drawn, page by page.
class TextRecorder : public QPaintDevice {
public:
    explicit TextRecorder(QSize size) : m_size(size), m_engine(this) {}
    QPaintEngine* paintEngine() const override { return const_cast<Engine*>(&m_engine); }
    void NewPage() { pages.emplace_back(); }
    std::vector<std::vector<QString>> pages{1};
    std::vector<QColor> fills;  // brush colours of the rectangles filled

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return m_size.width();
            case PdmHeight:
                return m_size.height();
            case PdmWidthMM:
                return m_size.width() * 254 / 3000;  // 300 dpi
            case PdmHeightMM:
                return m_size.height() * 254 / 3000;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 300;
            case PdmDepth:
                return 32;
            case PdmNumColors:
                return INT_MAX;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(TextRecorder* owner) : QPaintEngine(AllFeatures), m_owner(owner) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState& state) override {
            if (state.state() & DirtyBrush) m_brush = state.brush();
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawRects(const QRectF*, int) override {
            if (m_brush.style() == Qt::SolidPattern) m_owner->fills.push_back(m_brush.color());
        }
        void drawLines(const QLineF*, int) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override {
            m_owner->pages.back().push_back(item.text());
        }
        Type type() const override { return User; }

    private:
        TextRecorder* m_owner;
        QBrush m_brush;
    };
    QSize m_size;
    Engine m_engine;
};

class ListPrintTest : public ListUiTest {
protected:
    // n items with numbers 1000.. and one very long title.
    void Fill(int n) {
        for (int i = 0; i < n; ++i) {
            CItem& item = Add(std::to_string(1000 + i), 3600 + i * 60);
            if (i == 5) item.m_strTitle = kLongTitle;
        }
    }
    static constexpr const char* kLongTitle =
        "A very long description that cannot possibly fit into the description column of a "
        "printed page however wide the paper is, because it goes on and on and on and on and "
        "on and on and on and on about the lamp it describes";
    // Prints onto the recorder (an A4 landscape page at 300 dpi).
    std::vector<std::vector<QString>> Record(int* pages = nullptr,
                                             std::vector<QColor>* fills = nullptr) {
        TextRecorder device(QSize(3508, 2480));
        QPainter painter(&device);
        int n = PaintListPages(*m_view, painter, QRectF(0, 0, 3508, 2480), [&] {
            device.NewPage();
            return true;
        });
        painter.end();
        if (pages) *pages = n;
        if (fills) *fills = device.fills;
        return device.pages;
    }
    static bool Has(const std::vector<QString>& texts, const QString& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
};

TEST_F(ListPrintTest, ManyRowsFillSeveralPagesEachWithItsFooterAndHeadings) {
    Fill(120);
    Start();
    int painted = 0;
    auto pages = Record(&painted);
    ASSERT_GE(pages.size(), 2u);
    EXPECT_EQ(int(pages.size()), painted);
    const int n = int(pages.size());
    std::vector<QString> numbers;
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Has(pages[i], QString("Page %1 of %2").arg(i + 1).arg(n)));
        EXPECT_TRUE(Has(pages[i], "Item #"));
        EXPECT_TRUE(Has(pages[i], "list.bid"));  // the document's title
        for (const QString& t : pages[i])
            if (QRegularExpression("^1\\d{3}$").match(t).hasMatch()) numbers.push_back(t);
    }
    // Every row once, in the list's order.
    ASSERT_EQ(numbers.size(), 120u);
    for (int r = 0; r < 120; ++r) EXPECT_EQ(numbers[r].toStdString(), m_view->OnGetCellText(r, 0));
}

TEST_F(ListPrintTest, ShownColumnsInTheirOrderAndLongTextsCut) {
    Fill(8);
    Start();
    m_view->ShowColumn(2, false);         // "Current bid"
    m_view->header()->moveSection(8, 0);  // "Seller" first (if shown)
    m_view->ShowColumn(8, true);
    auto pages = Record();
    ASSERT_EQ(pages.size(), 1u);
    const auto& texts = pages[0];
    EXPECT_FALSE(Has(texts, "Current bid"));
    auto at = [&](const QString& t) {
        return std::find(texts.begin(), texts.end(), t) - texts.begin();
    };
    ASSERT_TRUE(Has(texts, "Seller"));
    EXPECT_LT(at("Seller"), at("Item #"));
    EXPECT_LT(at("Item #"), at("Description"));
    EXPECT_TRUE(Has(texts, "Page 1 of 1"));

    bool cut = false;
    for (const QString& t : texts) {
        if (t.startsWith("A very long")) {
            cut = true;
            EXPECT_TRUE(t.endsWith(QChar(0x2026))) << t.toStdString();
        }
    }
    EXPECT_TRUE(cut);
}

TEST_F(ListPrintTest, RowColoursBecomeALightBackground) {
    Fill(4);
    Schedule(*m_doc.FindItem("1002"), "$20.00", Now() + 600);
    Start();
    std::vector<QColor> fills;
    Record(nullptr, &fills);
    const QColor pending(rowcolour::kPending.r, rowcolour::kPending.g, rowcolour::kPending.b);
    const QColor light(219, 203, 237);  // the pending colour, 40 % of it on white
    EXPECT_EQ(std::count(fills.begin(), fills.end(), light), 1);
    EXPECT_EQ(std::count(fills.begin(), fills.end(), pending), 0);
    // Plain rows are left as the paper is.
    EXPECT_EQ(std::count(fills.begin(), fills.end(), QColor(Qt::white)), 0);
}

TEST_F(ListPrintTest, EmptyListPrintsOnePageWithHeadings) {
    Start();
    int painted = 0;
    auto pages = Record(&painted);
    EXPECT_EQ(painted, 1);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(Has(pages[0], "Page 1 of 1"));
    EXPECT_TRUE(Has(pages[0], "Description"));
}

TEST_F(ListPrintTest, PdfOfALongListHasThePagesPrintedInLandscape) {
    Fill(120);
    Start();
    std::unique_ptr<QPrinter> printer = NewLandscapePrinter();
    EXPECT_EQ(printer->pageLayout().orientation(), QPageLayout::Landscape);
    printer->setOutputFormat(QPrinter::PdfFormat);
    const std::string path = m_dir.File("list.pdf");
    printer->setOutputFileName(QString::fromStdString(path));
    const int pages = PrintList(*m_view, *printer);
    EXPECT_GE(pages, 2);

    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString pdf = QString::fromLatin1(file.readAll());
    EXPECT_EQ(pdf.count(QRegularExpression("/Type\\s*/Page\\b(?!s)")), pages);
    // Landscape: every page wider than high.
    QRegularExpression box("/MediaBox\\s*\\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)");
    auto it = box.globalMatch(pdf);
    int boxes = 0;
    while (it.hasNext()) {
        auto m = it.next();
        EXPECT_GT(m.captured(1).toDouble(), m.captured(2).toDouble());
        ++boxes;
    }
    EXPECT_GE(boxes, 1);

    // A picture of the first page, to look at: BEXORA_PRINT_PNG names the file.
    if (const char* png = std::getenv("BEXORA_PRINT_PNG")) {
        QImage image(1169, 827, QImage::Format_RGB32);
        image.setDotsPerMeterX(3937);  // 100 dpi
        image.setDotsPerMeterY(3937);
        image.fill(Qt::white);
        QPainter painter(&image);
        PaintListPages(*m_view, painter, QRectF(40, 40, 1089, 747), [] { return false; });
        painter.end();
        EXPECT_TRUE(image.save(png));
    }
}

TEST_F(ListPrintTest, PrintCommandRunsTheDialogAndPrintsOnlyOnOk) {
    Fill(3);
    Start();
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string path = m_dir.File("cmd.pdf");
    printer.setOutputFileName(QString::fromStdString(path));

    PlayDialog<QPrintDialog>([](QPrintDialog&) { return int(QDialog::Rejected); });
    OnListFilePrint(*m_view, &printer);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));

    PlayDialog<QPrintDialog>([](QPrintDialog&) { return int(QDialog::Accepted); });
    OnListFilePrint(*m_view, &printer);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path)));
    EXPECT_EQ(printer.docName(), "list.bid");
    EXPECT_TRUE(TakeShownPrompts().empty());
}

}  // namespace
}  // namespace bexora::test
