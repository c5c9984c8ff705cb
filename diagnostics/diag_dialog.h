// The Lookout dialog (CDiagDlg): its text, OK (run the report), Cancel (end), the About box
// from the window's menu, and the Save As step. The report itself is WriteDiagReport.
// Owned by main; used only by the GUI thread.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QAction;
class QFileDialog;
class QMessageBox;

namespace platform {
class SnmpAgent;
}

namespace diagnostics {

// Sets up a Save As dialog with the report's defaults: extension "txt", name "Wayfarer",
// the text and all-files filters, overwrite prompt.
void ConfigureSaveAsDialog(QFileDialog* dialog);
// Shows that Save As dialog; the chosen path, or nothing when the user cancels.
[[nodiscard]] std::optional<std::string> ChooseReportPath(QWidget* parent);

class CDiagDlg : public QDialog {
  Q_OBJECT

 public:
  using PathChooser = std::function<std::optional<std::string>(QWidget* parent)>;
  using ReportOpener = std::function<void(const std::string& path)>;

  explicit CDiagDlg(QWidget* parent = nullptr);

  // Replace the Save As step and the opening of the finished report (tests).
  void set_path_chooser(PathChooser chooser) { choose_path_ = std::move(chooser); }
  void set_report_opener(ReportOpener opener) { open_report_ = std::move(opener); }
  // The agent the report asks for the address table (not owned); nullptr: the machine's.
  void set_agent(platform::SnmpAgent* agent) { agent_ = agent; }

  // "&About Lookout...", in the window's context menu.
  [[nodiscard]] QAction* about_action() const { return about_action_; }

 public slots:
  // OK: Save As, the report, then open it and close the dialog. A cancelled Save As or a file
  // that cannot be written leaves the dialog open.
  void RunReport();
  // Opens the About box (caption "About Lookout"), modeless; returns it.
  QMessageBox* ShowAbout();

 private:
  PathChooser choose_path_;
  ReportOpener open_report_;
  platform::SnmpAgent* agent_ = nullptr;
  QAction* about_action_ = nullptr;
};

}  // namespace diagnostics
