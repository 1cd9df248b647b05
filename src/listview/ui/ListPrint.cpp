#include "listview/ui/ListPrint.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/Prompt.h"
#include "base/ui/DialogRunner.h"
#include "base/ui/AnsiText.h"
#include "listview/ui/ebayListView.h"

namespace bexora {

namespace {

struct PrintColumn {
    int logical;
    QString heading;
    qreal x;
    qreal width;
    Qt::Alignment align;
};

QFont PrintFont(qreal points, bool bold = false) {
    QFont font("Times New Roman");
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// A light version of a row colour, so black text stays readable on paper.
QColor Light(const QColor& c) {
    constexpr qreal kMix = 0.4;
    auto mix = [](int v) { return int(std::lround(255 - (255 - v) * kMix)); };
    return QColor(mix(c.red()), mix(c.green()), mix(c.blue()));
}

QString DocumentTitle(CebayListView& view) {
    const std::string& title = view.Core().Document().GetTitle();
    return title.empty() ? QString("Untitled") : FromAnsi(title);
}

// Lays out the table once for the painter's device and paints its pages.
class CListPagePainter {
public:
    CListPagePainter(CebayListView& view, QPainter& painter, const QRectF& page)
        : m_view(view),
          m_p(painter),
          m_page(page),
          m_cellFont(PrintFont(9)),
          m_headFont(PrintFont(9, true)),
          m_titleFont(PrintFont(13, true)),
          m_cell(m_cellFont, painter.device()),
          m_titleMetrics(m_titleFont, painter.device()) {
        const qreal dpi = painter.device() ? painter.device()->logicalDpiY() : 96;
        m_pad = dpi / 24;  // three points
        m_line = std::max<qreal>(1.0, dpi / 200);
        m_titleHeight = m_titleMetrics.height() * 1.6;
        m_headHeight = m_cell.height() * 1.5;
        m_rowHeight = m_cell.height() * 1.35;
        m_footHeight = m_cell.height() * 2.2;
        const qreal body = m_page.height() - m_titleHeight - m_headHeight - m_footHeight;
        m_rowsPerPage = std::max(1, int(std::floor(body / m_rowHeight)));
        m_rows = view.OnGetRowCount();
        m_strTitle = DocumentTitle(view);
        LayOutColumns();
    }

    int Pages() const { return std::max(1, (m_rows + m_rowsPerPage - 1) / m_rowsPerPage); }

    void PaintPage(int page) {
        m_p.save();
        m_p.translate(m_page.topLeft());
        PaintTitle();
        qreal y = m_titleHeight;
        PaintHeadings(y);
        y += m_headHeight;
        const int first = page * m_rowsPerPage;
        const int last = std::min(m_rows, first + m_rowsPerPage);
        for (int row = first; row < last; ++row, y += m_rowHeight) PaintRow(row, y);
        PaintFooter(page);
        m_p.restore();
    }

private:
    void LayOutColumns() {
        const QHeaderView* header = m_view.header();
        qreal total = 0;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int logical = header->logicalIndex(visual);
            if (logical < 0 || header->isSectionHidden(logical) ||
                logical >= m_view.ListBase().GetColumnCount())
                continue;
            const CColumnEntry& entry = m_view.ListBase().GetColumn(logical);
            const qreal width = std::max(1, header->sectionSize(logical));
            const Qt::Alignment align = entry.m_nFormat == ColumnAlign::Right    ? Qt::AlignRight
                                        : entry.m_nFormat == ColumnAlign::Center ? Qt::AlignHCenter
                                                                                 : Qt::AlignLeft;
            m_columns.push_back({logical, FromAnsi(entry.m_strHeading), total, width, align});
            total += width;
        }
        // The screen's proportions, stretched or squeezed to the paper.
        const qreal scale = total > 0 ? m_page.width() / total : 1;
        for (PrintColumn& c : m_columns) {
            c.x *= scale;
            c.width *= scale;
        }
    }

    QPen GridPen() const { return QPen(QColor(185, 185, 185), m_line); }

    void PaintTitle() {
        m_p.setFont(m_titleFont);
        m_p.setPen(Qt::black);
        const QRectF box(0, 0, m_page.width(), m_titleHeight * 0.8);
        m_p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                     m_titleMetrics.elidedText(m_strTitle, Qt::ElideRight, box.width()));
    }

    void PaintHeadings(qreal y) {
        const QRectF band(0, y, m_page.width(), m_headHeight);
        m_p.fillRect(band, QColor(228, 228, 228));
        m_p.setFont(m_headFont);
        QFontMetricsF metrics(m_headFont, m_p.device());
        for (const PrintColumn& c : m_columns) PaintCell(metrics, c, band, c.heading);
        m_p.setPen(QPen(Qt::black, m_line));
        m_p.drawLine(band.bottomLeft(), band.bottomRight());
        m_p.drawLine(band.topLeft(), band.topRight());
        PaintColumnLines(band);
    }

    void PaintRow(int row, qreal y) {
        const QRectF band(0, y, m_page.width(), m_rowHeight);
        QColor background(Qt::white);
        m_view.OnGetRowColour(row, background);
        if (background != QColor(Qt::white)) m_p.fillRect(band, Light(background));
        m_p.setFont(m_cellFont);
        for (const PrintColumn& c : m_columns)
            PaintCell(m_cell, c, band, FromAnsi(m_view.OnGetCellText(row, c.logical)));
        m_p.setPen(GridPen());
        m_p.drawLine(band.bottomLeft(), band.bottomRight());
        PaintColumnLines(band);
    }

    void PaintCell(const QFontMetricsF& metrics, const PrintColumn& c, const QRectF& band,
                   const QString& text) {
        const QRectF box(c.x + m_pad, band.top(), c.width - 2 * m_pad, band.height());
        if (box.width() <= 0 || text.isEmpty()) return;
        m_p.setPen(Qt::black);
        m_p.drawText(box, c.align | Qt::AlignVCenter,
                     metrics.elidedText(text, Qt::ElideRight, box.width()));
    }

    void PaintColumnLines(const QRectF& band) {
        m_p.setPen(GridPen());
        for (size_t i = 1; i < m_columns.size(); ++i)
            m_p.drawLine(QPointF(m_columns[i].x, band.top()),
                         QPointF(m_columns[i].x, band.bottom()));
    }

    void PaintFooter(int page) {
        m_p.setFont(m_cellFont);
        m_p.setPen(Qt::black);
        const QRectF box(0, m_page.height() - m_footHeight * 0.8, m_page.width(),
                         m_footHeight * 0.8);
        m_p.drawText(box, Qt::AlignHCenter | Qt::AlignBottom,
                     QString::asprintf("Page %d of %d", page + 1, Pages()));
    }

    CebayListView& m_view;
    QPainter& m_p;
    QRectF m_page;
    QFont m_cellFont, m_headFont, m_titleFont;
    QFontMetricsF m_cell, m_titleMetrics;
    QString m_strTitle;
    std::vector<PrintColumn> m_columns;
    qreal m_pad = 4, m_line = 1;
    qreal m_titleHeight = 0, m_headHeight = 0, m_rowHeight = 0, m_footHeight = 0;
    int m_rowsPerPage = 1;
    int m_rows = 0;
};

}  // namespace

int PaintListPages(CebayListView& view, QPainter& painter, const QRectF& pageRect,
                   const std::function<bool()>& newPage) {
    CListPagePainter pages(view, painter, pageRect);
    int painted = 0;
    for (int page = 0; page < pages.Pages(); ++page) {
        if (page > 0 && newPage && !newPage()) break;
        pages.PaintPage(page);
        ++painted;
    }
    return painted;
}

int PrintList(CebayListView& view, QPrinter& printer) {
    if (printer.docName().isEmpty()) printer.setDocName(DocumentTitle(view));
    QPainter painter;
    if (!painter.begin(&printer)) return 0;
    const QRectF page(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    const int pages = PaintListPages(view, painter, page, [&printer] { return printer.newPage(); });
    painter.end();
    return pages;
}

void OnListFilePrint(CebayListView& view, QPrinter* printer) {
    std::unique_ptr<QPrinter> own;
    if (!printer) printer = (own = NewLandscapePrinter()).get();
    printer->setDocName(DocumentTitle(view));
    QPrintDialog dialog(printer, &view);
    if (ExecDialog(dialog) != QDialog::Accepted) return;
    if (PrintList(view, *printer) == 0)
        ShowPrompt(kPrintFailedText, PromptButtons::Ok, PromptIcon::Error);
}

void OnListFilePrintPreview(CebayListView& view, QPrinter* printer) {
    std::unique_ptr<QPrinter> own;
    if (!printer) printer = (own = NewLandscapePrinter()).get();
    printer->setDocName(DocumentTitle(view));
    QPrintPreviewDialog preview(printer, &view);
    preview.setWindowTitle("Print Preview");
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&view](QPrinter* p) { PrintList(view, *p); });
    ExecDialog(preview);
}

std::unique_ptr<QPrinter> NewLandscapePrinter() {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setPageOrientation(QPageLayout::Landscape);
    return printer;
}

}  // namespace bexora
