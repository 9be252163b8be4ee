// Writes the help document excelimport.pdf: the German help text with pictures of the
// program's own windows, rendered offscreen, printed to PDF by Qt.
//   zandor-help HELP.html OUTPUT.pdf
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QPageSize>
#include <QPixmap>
#include <QPrinter>
#include <QTableWidget>
#include <QTextDocument>
#include <QUrl>
#include <iostream>

#include "app/app_state.h"
#include "qt/main_window.h"
#include "qt/template_dialog.h"
#include "resources/dialog_template.h"

namespace {

using namespace zandor;

QImage pictureOf(const char* templateName, const std::function<void(QtDialog&)>& fill) {
  QtDialog dialog(*findDialogTemplate(templateName), nullptr);
  if (fill) fill(dialog);
  dialog.window()->show();
  const QImage image = dialog.window()->grab().toImage();
  dialog.window()->hide();
  return image;
}

void setText(QtDialog& d, int id, const char* text) {
  OCTRL(d, id).setText(text);
}

// A few rows as the mapping dialog shows them, for the picture only.
void fillExampleMapping(QtDialog& d) {
  auto* grid = d.window()->findChild<QTableWidget*>(QStringLiteral("ctl201"));
  if (grid == nullptr) return;
  const QStringList headers = {"Nr.",          "Feldname", "Typ", "L\u00e4nge", "Nachkomma",
                               "Excel-Spalte", "G",        "H",   "I"};
  const std::vector<QStringList> rows = {
      {"1", "KUNDE", "C", "10", "0", "Kundennummer", "A", "1", ""},
      {"2", "NAME", "C", "40", "0", "Name", "B", "2", ""},
      {"3", "STRASSE", "C", "40", "0", "Stra\u00dfe", "C", "3", ""},
      {"4", "PLZ", "C", "5", "0", "PLZ", "D", "4", ""},
      {"5", "ORT", "C", "30", "0", "Ort", "E", "5", ""},
      {"6", "TELEFON", "C", "20", "0", "0", "", "", ""},
  };
  grid->setColumnCount(static_cast<int>(headers.size()));
  grid->setHorizontalHeaderLabels(headers);
  grid->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < grid->rowCount(); ++r) {
    for (int c = 0; c < grid->columnCount(); ++c) {
      grid->setItem(r, c, new QTableWidgetItem(rows[static_cast<std::size_t>(r)][c]));
    }
  }
  grid->verticalHeader()->hide();
  grid->resizeColumnsToContents();
  grid->setColumnWidth(5, 125);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: zandor-help HELP.html OUTPUT.pdf" << std::endl;
    return 2;
  }
  QApplication app(argc, argv);
  QFile source(QString::fromLocal8Bit(argv[1]));
  if (!source.open(QIODevice::ReadOnly)) {
    std::cerr << "cannot read " << argv[1] << std::endl;
    return 1;
  }
  QTextDocument document;
  auto add = [&document](const char* name, const QImage& image) {
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("bild:") + name), image);
  };

  AppState state;
  MainWindow window(state, MappingCommands{});
  window.resize(640, 300);
  window.show();
  add("hauptfenster", window.grab().toImage());
  window.hide();

  add("voreinst", pictureOf(tpl::kPreferences, [](QtDialog& d) {
        setText(d, 111, "C:\\Daten\\Excel");
        setText(d, 112, "C:\\Warenwirtschaft\\Daten");
        setText(d, 113, "K");
        setText(d, 114, "1000");
        setText(d, 131, "K1000");
        setText(d, 115, "A-");
        setText(d, 116, "5000");
        setText(d, 132, "A-5000");
        OCTRL(d, 141).setChecked(true);
        OCTRL(d, 1001).setChecked(true);
      }));
  add("dateiwahl", pictureOf(tpl::kFileChoice, [](QtDialog& d) {
        OCTRL(d, 111).setItems({"C:\\Daten\\Excel\\Kunden 2013.xlsx"});
        OCTRL(d, 111).setSelection(0);
        OCTRL(d, 112).setItems({"C:\\Warenwirtschaft\\Daten\\ADRESSEN.DBF"});
        OCTRL(d, 112).setSelection(0);
        OCTRL(d, 105).setChecked(true);
      }));
  add("einleseoption", pictureOf(tpl::kImportOptions, [](QtDialog& d) {
        OCTRL(d, 111).setItems({"Kundennummer", "Name", "Ort"});
        OCTRL(d, 111).setSelection(1);
        setText(d, 105, "Kd.-Nr. autom. generieren");
      }));
  add("zuordnung", pictureOf(tpl::kMapping, [](QtDialog& d) { fillExampleMapping(d); }));
  add("warten", pictureOf(tpl::kWaitMessage, [](QtDialog& d) { setText(d, 101, "Zeile: 17"); }));

  document.setHtml(QString::fromUtf8(source.readAll()));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromLocal8Bit(argv[2]));
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setDocName(QStringLiteral("Zandor Hilfe"));
  document.print(&printer);
  return QFile::exists(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
