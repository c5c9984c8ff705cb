// Build tool: paints the gateway's 21 icons and writes them as one strip "WayfarerIcons.png"
// (the path given as the only argument). Indexes follow the service list: WWW 0, DNS 3,
// Telnet 5, News 8, RealAudio 9, POP3 10, SMTP 11, FTP 15, inactive 16, IRC 17, mappings 18,
// Socks 19; 1 is the program's own icon; the others are spare pictures.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

struct IconPicture {
  const char* text;
  QColor colour;
};

// Two letters on a coloured round tile per index.
const IconPicture kPictures[21] = {
    {"W", QColor(30, 110, 200)},  {"Wf", QColor(20, 140, 90)},  {"Co", QColor(90, 90, 160)},
    {"D", QColor(150, 70, 170)},  {"Se", QColor(170, 60, 40)},  {"T", QColor(40, 40, 40)},
    {"Di", QColor(200, 130, 20)}, {"Ca", QColor(110, 80, 40)},  {"N", QColor(60, 120, 140)},
    {"RA", QColor(190, 40, 90)},  {"P", QColor(30, 150, 160)},  {"S", QColor(80, 140, 40)},
    {"Ab", QColor(100, 100, 100)}, {"?", QColor(60, 90, 200)},  {"K", QColor(200, 40, 40)},
    {"F", QColor(160, 110, 30)},  {"x", QColor(150, 150, 150)}, {"I", QColor(120, 60, 160)},
    {"M", QColor(30, 100, 70)},   {"So", QColor(70, 70, 130)},  {"+", QColor(90, 130, 90)},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icons OUTPUT.png\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  QImage strip(21 * 16, 16, QImage::Format_ARGB32);
  strip.fill(Qt::transparent);
  QPainter painter(&strip);
  painter.setRenderHint(QPainter::Antialiasing);
  QFont font("DejaVu Sans");
  font.setPixelSize(8);
  font.setBold(true);
  painter.setFont(font);
  for (int i = 0; i < 21; ++i) {
    const QRect tile(i * 16, 0, 16, 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kPictures[i].colour);
    painter.drawRoundedRect(tile.adjusted(1, 1, -1, -1), 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(tile, Qt::AlignCenter, kPictures[i].text);
  }
  painter.end();
  if (!strip.save(argv[1], "PNG")) {
    std::fprintf(stderr, "make_icons: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
