// Build tool: renders the gateway's pictures from their SVG sources (the folder given first)
// into the output folder given second: "WayfarerIcons.png" and "WayfarerIcons32.png" (the 21
// icons as strips of 16 and 32 pixel squares), the console's two banners and its four icons,
// and the three programs' window icons. Indexes follow the service list: WWW 0, DNS 3,
// Telnet 5, News 8, RealAudio 9, POP3 10, SMTP 11, FTP 15, inactive 16, IRC 17, mappings 18,
// Socks 19; 1 is the program's own icon; the others picture the console's areas.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

namespace {

constexpr const char* kServiceIcons[21] = {
    "service_00_www",      "service_01_wayfarer",  "service_02_connections", "service_03_dns",
    "service_04_security", "service_05_telnet",    "service_06_dial",        "service_07_cache",
    "service_08_news",     "service_09_realaudio", "service_10_pop3",        "service_11_smtp",
    "service_12_about",    "service_13_help",      "service_14_kill",        "service_15_ftp",
    "service_16_inactive", "service_17_irc",       "service_18_mapping",     "service_19_socks",
    "service_20_new",
};
// The console's four icons: the office network, the gateway, the Internet, the guard.
constexpr const char* kConsoleIcons[4] = {"console_lan", "service_01_wayfarer", "service_00_www",
                                          "service_04_security"};

// Draws source into target at rect; false when the source is missing or not an SVG.
bool Render(const QString& source, QPainter* painter, const QRectF& rect) {
  QSvgRenderer svg(source);
  if (!svg.isValid()) {
    std::fprintf(stderr, "make_icons: cannot read %s\n", qPrintable(source));
    return false;
  }
  svg.render(painter, rect);
  return true;
}

// The named sources side by side, each a square of size; written to out.
bool Strip(const QDir& in, const char* const* names, int count, int size, const QString& out) {
  QImage strip(count * size, size, QImage::Format_ARGB32);
  strip.fill(Qt::transparent);
  QPainter painter(&strip);
  painter.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < count; ++i) {
    if (!Render(in.filePath(QString(names[i]) + ".svg"), &painter,
                QRectF(i * size, 0, size, size))) {
      return false;
    }
  }
  painter.end();
  return strip.save(out, "PNG");
}

bool Picture(const QDir& in, const char* name, QSize size, const QString& out) {
  QImage image(size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  if (!Render(in.filePath(QString(name) + ".svg"), &painter, QRectF(QPointF(0, 0), size))) {
    return false;
  }
  painter.end();
  return image.save(out, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icons SVG_DIR OUTPUT_DIR\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QDir in(argv[1]);
  const QDir out(argv[2]);
  const bool ok = Strip(in, kServiceIcons, 21, 16, out.filePath("WayfarerIcons.png")) &&
                  Strip(in, kServiceIcons, 21, 32, out.filePath("WayfarerIcons32.png")) &&
                  Strip(in, kConsoleIcons, 4, 32, out.filePath("ConsoleIcons.png")) &&
                  Picture(in, "banner_left", QSize(200, 40), out.filePath("ConsoleBanner1.png")) &&
                  Picture(in, "banner_right", QSize(200, 40), out.filePath("ConsoleBanner2.png")) &&
                  Picture(in, "service_01_wayfarer", QSize(64, 64), out.filePath("Wayfarer.png")) &&
                  Picture(in, "outfitter", QSize(64, 64), out.filePath("Outfitter.png")) &&
                  Picture(in, "lookout", QSize(64, 64), out.filePath("Lookout.png"));
  if (!ok) {
    std::fprintf(stderr, "make_icons: cannot write the pictures into %s\n", argv[2]);
    return 1;
  }
  return 0;
}
