// The console's head above its tabs: the two banner pictures with the four icons between them
// (the office network, the gateway, the Internet, the guard), read from the pictures the build
// renders beside the program. A missing picture leaves its place empty. Qt thread only.
#pragma once

#include <QString>

class QWidget;

namespace console {

inline constexpr char kBannerLeftFile[] = "ConsoleBanner1.png";
inline constexpr char kBannerRightFile[] = "ConsoleBanner2.png";
inline constexpr char kConsoleIconsFile[] = "ConsoleIcons.png";

// The head, made of the pictures in directory.
[[nodiscard]] QWidget* MakeConsoleBanner(const QString& directory, QWidget* parent);

}  // namespace console
