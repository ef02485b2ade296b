#pragma once

// A PDF written by hand, one plain coloured page per entry, each page carrying the /Trans
// dictionary given for it (QPdfWriter writes no page transitions).

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QString>

#include <vector>

namespace pa::host::testing {

struct TransPage
{
    QColor colour;
    QByteArray trans; // the dictionary's body, e.g. "/S /Push /Di 270 /D 0.5"; empty for none
};

inline bool makeTransPdf(const QString &path, const std::vector<TransPage> &pages)
{
    QByteArray pdf = "%PDF-1.5\n";
    std::vector<qsizetype> offsets;
    const auto object = [&](const QByteArray &body) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    const int n = static_cast<int>(pages.size());
    QByteArray kids;
    for (int i = 0; i < n; ++i) {
        kids += QByteArray::number(3 + 2 * i) + " 0 R ";
    }
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(n) + " >>");
    for (int i = 0; i < n; ++i) {
        const TransPage &page = pages[static_cast<size_t>(i)];
        QByteArray dict = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 300] /Contents " +
                          QByteArray::number(4 + 2 * i) + " 0 R";
        if (!page.trans.isEmpty()) {
            dict += " /Trans << /Type /Trans " + page.trans + " >>";
        }
        object(dict + " >>");
        const QByteArray content = QByteArray::number(page.colour.redF(), 'f', 3) + " " +
                                   QByteArray::number(page.colour.greenF(), 'f', 3) + " " +
                                   QByteArray::number(page.colour.blueF(), 'f', 3) +
                                   " rg 0 0 400 300 re f";
        object("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
               "\nendstream");
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype at : offsets) {
        pdf += QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

} // namespace pa::host::testing
