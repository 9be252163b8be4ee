// Writes the help document excelimport.pdf: the German help text with pictures of the
// program's own windows, rendered offscreen, printed to PDF by Qt. With a folder of
// pictures (NAME.png, as the document names them: the Windows program's windows taken
// under Wine), those take the place of the Qt ones.
//   zandor-help HELP.html OUTPUT.pdf [PICTURES]
#include <QApplication>
#include <QFile>
#include <QPageSize>
#include <QPixmap>
#include <QPrinter>
#include <QTextDocument>
#include <QUrl>
#include <iostream>

#include "mapping/field_list.h"
#include "mapping/table_helpers.h"
#include "qt/main_window.h"
#include "qt/template_dialog.h"
#include "resources/dialog_template.h"
#include "state/app_state.h"
#include "table/work_areas.h"

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
const FieldTable& exampleMapping() {
  static const FieldTable fields = [] {
    auto row = [](int no, const char* name, int len, const char* heading, int column) {
      const bool mapped = column > 0;
      return FieldRow{Value::integer(no),
                      Value::text(name),
                      Value::text("C"),
                      Value::integer(len),
                      Value::integer(0),
                      mapped ? Value::text(heading) : Value::integer(0),
                      Value::text(mapped ? EXCELSPALTE(column) : ""),
                      mapped ? Value::integer(column) : Value::text(""),
                      Value::text("")};
    };
    return FieldTable{row(1, "KUNDE", 10, "Kundennummer", 1),
                      row(2, "NAME", 40, "Name", 2),
                      row(3, "STRASSE", 40,
                          "Stra\xdf"
                          "e",
                          3),
                      row(4, "PLZ", 5, "PLZ", 4),
                      row(5, "ORT", 30, "Ort", 5),
                      row(6, "TELEFON", 20, "", 0)};
  }();
  return fields;
}

void fillExampleMapping(QtDialog& d) {
  static const FieldListModel model(exampleMapping());
  GridList* grid = d.gridList(201);
  if (grid == nullptr) return;
  grid->setColumns(fieldListColumns());
  grid->setModel(&model);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: zandor-help HELP.html OUTPUT.pdf [PICTURES]" << std::endl;
    return 2;
  }
  QApplication app(argc, argv);
  QFile source(QString::fromLocal8Bit(argv[1]));
  if (!source.open(QIODevice::ReadOnly)) {
    std::cerr << "cannot read " << argv[1] << std::endl;
    return 1;
  }
  QTextDocument document;
  const QString pictures = argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString();
  auto add = [&document, &pictures](const char* name, const QImage& drawn) {
    QImage image = drawn;
    if (!pictures.isEmpty()) {
      const QImage taken(pictures + QLatin1Char('/') + QLatin1String(name) +
                         QStringLiteral(".png"));
      if (!taken.isNull()) image = taken;
    }
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("bild:") + name), image);
  };

  AppState state;
  WorkAreas areas;
  ProgramCommands commands(state, areas);
  MainWindow window(state, commands);
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
