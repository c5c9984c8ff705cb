// What this Linux desktop really uses, reported next to the stored values: the OS release and
// kernel, the name servers in use, the default browser, and the proxies of Firefox's profiles,
// GNOME and the command-line environment, each with whether it points at the gateway that
// Outfitter stored. Used by the thread running the report.
#pragma once

#include <string>

#include "diagnostics/report_writer.h"

namespace diagnostics {

// The gateway's name and address as Outfitter stored them ("" when not stored).
struct GatewayNames {
  std::string name;
  std::string address;
};
[[nodiscard]] GatewayNames StoredGateway();

// Lines for the Operating System section: "Linux is <PRETTY_NAME>", "Kernel is <name release>".
void WriteOsReleaseLines(ReportWriter& w);
// Lines for the DNS section: the name servers in use and whether the gateway comes first.
void WriteNameServersInUse(ReportWriter& w, const GatewayNames& gateway);
// Line for the Default Browser section: xdg-settings' default web browser.
void WriteDesktopBrowser(ReportWriter& w);
// The section "Desktop Proxies": Firefox profiles, GNOME, the environment.
void WriteDesktopProxySection(ReportWriter& w, const GatewayNames& gateway);

}  // namespace diagnostics
