#include "station/records/report.h"

#include <cctype>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace station::records {

namespace {

const QColor kGood(46, 139, 87);
const QColor kBad(200, 50, 50);
const QColor kInk(40, 40, 40);
const QColor kGrid(220, 220, 220);

// Qt needs an application object to lay out text; a tool without a display gets the
// offscreen one.
void ensureGuiApplication() {
  if (QCoreApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "mprecords";
  static char* argv[] = {name, nullptr};
  static auto* app = new QGuiApplication(argc, argv);
  (void)app;
}

// A round step for an axis that reaches `top`.
int64_t niceStep(int64_t top) {
  int64_t step = 1;
  while (top / step > 8) {
    if (top / (step * 2) <= 8) return step * 2;
    if (top / (step * 5) <= 8) return step * 5;
    step *= 10;
  }
  return step;
}

QString percent(double v) { return QString::number(v, 'f', 1) + "%"; }

void hourChart(QPainter& p, const QRect& area, const std::map<std::string, Tally>& hours, bool local) {
  p.setPen(kInk);
  p.setFont(QFont("DejaVu Sans", 13, QFont::Bold));
  p.drawText(area.left(), area.top() + 18,
             local ? "Runs and yield per hour (local time)" : "Runs and yield per hour (UTC)");
  QRect plot = area.adjusted(60, 40, -10, -40);
  int64_t top = 1;
  for (const auto& [h, t] : hours) top = std::max(top, t.total);
  int64_t step = niceStep(top);
  top = (top + step - 1) / step * step;
  p.setFont(QFont("DejaVu Sans", 9));
  for (int64_t v = 0; v <= top; v += step) {
    int y = plot.bottom() - static_cast<int>(plot.height() * v / top);
    p.setPen(kGrid);
    p.drawLine(plot.left(), y, plot.right(), y);
    p.setPen(kInk);
    p.drawText(QRect(area.left(), y - 8, 52, 16), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(v));
  }
  if (hours.empty()) return;
  int n = static_cast<int>(hours.size());
  double slot = static_cast<double>(plot.width()) / n;
  int bar = std::max(2, static_cast<int>(slot * 0.7));
  int i = 0;
  for (const auto& [hour, t] : hours) {
    int x = plot.left() + static_cast<int>(slot * i + (slot - bar) / 2);
    int hs = static_cast<int>(plot.height() * t.success / top);
    int hf = static_cast<int>(plot.height() * t.fail() / top);
    p.fillRect(x, plot.bottom() - hs, bar, hs, kGood);
    p.fillRect(x, plot.bottom() - hs - hf, bar, hf, kBad);
    p.setPen(kInk);
    QRect label(x - 20, plot.bottom() - hs - hf - 18, bar + 40, 16);
    p.drawText(label, Qt::AlignCenter, percent(t.yield()));
    // "2026-12-08T06" -> "06:00", the day under the first hour of each day
    QString h = QString::fromStdString(hour);
    p.drawText(QRect(x - 20, plot.bottom() + 4, bar + 40, 14), Qt::AlignCenter,
               h.mid(11, 2) + ":00");
    if (i == 0 || hour.substr(0, 10) != std::prev(hours.find(hour))->first.substr(0, 10))
      p.drawText(QRect(x - 30, plot.bottom() + 18, bar + 60, 14), Qt::AlignCenter, h.left(10));
    ++i;
  }
}

// Horizontal bars, the largest first.
void barList(QPainter& p, const QRect& area, const QString& title,
             std::vector<std::pair<std::string, Tally>> rows, bool showRate) {
  p.setPen(kInk);
  p.setFont(QFont("DejaVu Sans", 13, QFont::Bold));
  p.drawText(area.left(), area.top() + 18, title);
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return a.second.fail() != b.second.fail() ? a.second.fail() > b.second.fail() : a.first < b.first;
  });
  if (rows.size() > 12) rows.resize(12);
  int64_t top = 1;
  for (const auto& r : rows) top = std::max(top, r.second.fail());
  p.setFont(QFont("DejaVu Sans", 10));
  int y = area.top() + 36;
  int rowH = std::min(30, (area.height() - 40) / std::max<int>(1, static_cast<int>(rows.size())));
  int labelW = 120, textW = 130;
  int barMax = area.width() - labelW - textW - 10;
  for (const auto& [name, t] : rows) {
    p.setPen(kInk);
    p.drawText(QRect(area.left(), y, labelW - 8, rowH - 4), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromStdString(name));
    int w = static_cast<int>(barMax * t.fail() / top);
    p.fillRect(area.left() + labelW, y + 3, std::max(w, 1), rowH - 10, kBad);
    QString text = QString::number(t.fail());
    if (showRate) text += " of " + QString::number(t.total) + " (" + percent(100.0 - t.yield()) + ")";
    p.drawText(QRect(area.left() + labelW + w + 6, y, textW + barMax - w, rowH - 4),
               Qt::AlignLeft | Qt::AlignVCenter, text);
    y += rowH;
  }
  if (rows.empty()) p.drawText(area.left() + labelW, y + 16, "none");
}

}  // namespace

const char* reportFormat(const std::string& path) {
  std::string suffix = path.substr(path.find_last_of('.') == std::string::npos ? path.size()
                                                                                : path.find_last_of('.'));
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (suffix == ".png") return "PNG";
  if (suffix == ".jpg" || suffix == ".jpeg") return "JPEG";
  if (suffix == ".bmp") return "BMP";
  return nullptr;
}

bool drawReport(const Stats& s, const std::string& subtitle, const std::string& path,
                std::string* error) {
  ensureGuiApplication();
  QImage image(1400, 900, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(kInk);
    p.setFont(QFont("DejaVu Sans", 20, QFont::Bold));
    p.drawText(30, 42, "Production yield");
    p.setFont(QFont("DejaVu Sans", 11));
    p.drawText(30, 66, QString::fromStdString(subtitle));
    // The headline: the figure a manager wants first.
    p.setFont(QFont("DejaVu Sans", 26, QFont::Bold));
    p.setPen(s.overall.yield() >= 95 ? kGood : kBad);
    p.drawText(QRect(900, 14, 470, 40), Qt::AlignRight | Qt::AlignVCenter,
               percent(s.overall.yield()) + " yield");
    p.setPen(kInk);
    p.setFont(QFont("DejaVu Sans", 11));
    p.drawText(QRect(900, 54, 470, 20), Qt::AlignRight | Qt::AlignVCenter,
               QString("%1 runs: %2 successful, %3 failed, %4 removed")
                   .arg(s.overall.total).arg(s.overall.success).arg(s.overall.fail()).arg(s.overall.removed));

    hourChart(p, QRect(30, 90, 1340, 400), s.perHour, s.localHours);
    // legend, beside the chart's title
    p.setFont(QFont("DejaVu Sans", 10));
    p.fillRect(455, 96, 14, 14, kGood);
    p.drawText(475, 108, "successful");
    p.fillRect(565, 96, 14, 14, kBad);
    p.drawText(585, 108, "failed");

    std::vector<std::pair<std::string, Tally>> ports;
    for (const auto& [port, t] : s.perPort) ports.push_back({port == "-" ? "not found" : port, t});
    barList(p, QRect(30, 520, 650, 360), "Failures per USB port (hub-port)", ports, true);
    std::vector<std::pair<std::string, Tally>> steps;
    for (const auto& [step, n] : s.failuresPerStep) steps.push_back({stepTitle(step), Tally{n, 0}});
    barList(p, QRect(720, 520, 650, 360), "Failures per step", steps, false);
  }
  const char* format = reportFormat(path);
  if (!format) {
    if (error) *error = path + ": not a picture's name (.png, .jpg or .bmp)";
    return false;
  }
  if (!image.save(QString::fromStdString(path), format)) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace station::records
