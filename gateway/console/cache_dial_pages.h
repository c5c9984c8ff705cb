// Joins the Cache and Dial pages to the console: registers their creators and the probe the
// console asks whether a cache purge runs. Called once on the Qt thread before the console
// opens (the program's display modes, and tests that show these pages).
#pragma once

namespace console {

void RegisterCacheAndDialPages();

}  // namespace console
