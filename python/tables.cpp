#include "binding.h"

#include "setting.h"

#include <algorithm>

namespace velotune {

QStringList channelHeaders()
{
    return {QStringLiteral("channel"),      QStringLiteral("positioner"),
            QStringLiteral("sensor type"),  QStringLiteral("speed"),
            QStringLiteral("acceleration"), QStringLiteral("Low Vibration Mode")};
}

std::vector<QStringList> channelRows(const std::vector<nexil::ChannelSettings> &channels)
{
    std::vector<QStringList> rows;
    for (const nexil::ChannelSettings &c : channels) {
        if (!c.positioner) {
            rows.push_back({QString::number(c.index), QStringLiteral("no"), QString(), QString(),
                            QString(), QString()});
            continue;
        }
        rows.push_back({QString::number(c.index), QStringLiteral("yes"),
                        QString::number(c.sensorType),
                        nexil::settingText(c, nexil::Setting::Speed, true),
                        nexil::settingText(c, nexil::Setting::Acceleration, true),
                        nexil::settingText(c, nexil::Setting::LowVibration)});
    }
    return rows;
}

QString textTable(const QStringList &headers, const std::vector<QStringList> &rows)
{
    std::vector<int> widths;
    for (const QString &header : headers)
        widths.push_back(int(header.size()));
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size() && i < int(widths.size()); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], int(row[i].size()));
    }
    const auto line = [&](const QStringList &cells) {
        QStringList padded;
        for (int i = 0; i < cells.size() && i < int(widths.size()); ++i)
            padded << cells[i].leftJustified(widths[std::size_t(i)]);
        return padded.join(QStringLiteral("  ")).trimmed();
    };
    QStringList lines{line(headers)};
    for (const QStringList &row : rows)
        lines << line(row);
    return lines.join(QLatin1Char('\n'));
}

QString htmlTable(const QStringList &headers, const std::vector<QStringList> &rows,
                  const QString &caption)
{
    QString html
            = QStringLiteral("<table>\n<caption>%1</caption>\n<tr>").arg(caption.toHtmlEscaped());
    for (const QString &header : headers)
        html += QStringLiteral("<th>%1</th>").arg(header.toHtmlEscaped());
    html += QStringLiteral("</tr>\n");
    for (const QStringList &row : rows) {
        html += QStringLiteral("<tr>");
        for (const QString &cell : row)
            html += QStringLiteral("<td>%1</td>").arg(cell.toHtmlEscaped());
        html += QStringLiteral("</tr>\n");
    }
    return html + QStringLiteral("</table>");
}

} // namespace velotune
