#include "app/programentry.h"
#include "app/mywidget.h"
#include "overview/bysnptab.h"
#include "overview/qqplotview.h"
#include "overview/toplocitab.h"
#include "overview/traitstab.h"
#include "app/startupdialog.h"
#include "bypos/bypos.h"
#include "bytrait/byid.h"
#include "common/findsnpdialog.h"
#include "common/imagetitledialog.h"
#include "session/sharedstate.h"
#include "dataset/datasetregistry.h"
#include "support/examplestudy.h"
#include "support/scripteddialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>

using namespace quillmap;

namespace {

// Distinct colours in an image: a blank plot has one or two.
int colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); y += 2)
        for (int x = 0; x < argb.width(); x += 2)
            colours.insert(argb.pixel(x, y));
    return int(colours.size());
}

// A PDF written by the exports: the header and exactly one page object.
bool isOnePagePdf(const QString &path, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot open ") + path;
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith("%PDF-")) {
        *why = QStringLiteral("no PDF header");
        return false;
    }
    const int pages = int(bytes.count("/Type /Page\n") + bytes.count("/Type /Page ")
                          + bytes.count("/Type /Page/") + bytes.count("/Type /Page>"));
    if (pages != 1) {
        *why = QStringLiteral("%1 pages").arg(pages);
        return false;
    }
    return true;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void importBrowseAndExport();
};

// The whole program in one process, every dialog answered by the script, as a user would go
// through it from the README: import the example study, browse it, both tabs, both exports.
void TestEndToEnd::importBrowseAndExport()
{
    QVERIFY(QDir::setCurrent(QStringLiteral(QUILLMAP_TESTDATA "/../..")));
    QTemporaryDir dataset;
    QTemporaryDir output;
    QVERIFY(dataset.isValid() && output.isValid());
    const QString examples = examplesFolder();

    ScriptedDialogs scripted;
    ScriptedDialogs::Scope scope(scripted);

    // The startup dialog: the load wizard with the example files, then BROWSE DATA.
    bool accepted = false;
    scripted.answerExec([&](QDialog *d) {
        auto &dialog = *static_cast<StartupDialog *>(d);
        scripted.answerPath(dataset.path());     // folder
        scripted.answerButton(QMessageBox::Yes); // tab-delimited notice
        scripted.answerButton(QMessageBox::Yes); // file 1 notice
        scripted.answerPath(examples + QStringLiteral("/results.txt"));
        scripted.answerButton(QMessageBox::Yes); // file 2 notice
        scripted.answerPath(examples + QStringLiteral("/snp_info.txt"));
        scripted.answerButton(QMessageBox::Yes); // file 3 notice
        scripted.answerPath(examples + QStringLiteral("/trait_info.txt"));
        scripted.answerButton(QMessageBox::Yes); // file 4? yes
        scripted.answerPath(examples + QStringLiteral("/trait_groups.txt"));
        scripted.answerButton(QMessageBox::Yes); // file 5? yes
        scripted.answerPath(examples + QStringLiteral("/gene_positions.txt"));
        scripted.answerButton(QMessageBox::Yes); // loading notice
        scripted.answerButton(QMessageBox::Yes); // finished notice
        dialog.loadData->click();
        const int entry = dialog.datasetComboBox->findText(dataset.path());
        if (entry < 1)
            return int(QDialog::Rejected);
        dialog.datasetComboBox->setCurrentIndex(entry);
        dialog.browseData->click();
        accepted = dialog.isAccepted();
        return dialog.result();
    });

    QString failure;
    bool done = false;
    // The splash screen shown while the dataset loads runs events before the window exists, so wait
    // until the window is shown.
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        MyWidget *shown = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->inherits("quillmap::MyWidget"))
                shown = static_cast<MyWidget *>(w);
        if (!shown)
            return;
        poll.stop();
        auto fail = [&](const QString &why) {
            failure = why;
            for (QWidget *w : QApplication::topLevelWidgets())
                w->close();
        };
        MyWidget *window = shown;
        QTest::qWait(100);

        // By Trait: display the first trait and let the repaint after showing finish.
        byID *traits = window->traitPanel;
        // A trait of the chromosome 6 hotspot of the example study.
        traits->ProbeID->setCurrentIndex(traits->ProbeID->findText(QStringLiteral("ILMN_1660409")));
        QTest::qWait(300);
        if (traits->ctableView->model() == nullptr || traits->ctableView->model()->rowCount() == 0)
            return fail(QStringLiteral("trait table empty"));
        const QImage traitPlot = traits->frame->grab().toImage();
        if (colourCount(traitPlot) < 3)
            return fail(QStringLiteral("trait plot blank"));
        QDir().mkpath(QStringLiteral(QUILLMAP_SCREENS_DIR));
        window->grab().save(QStringLiteral(QUILLMAP_SCREENS_DIR "/by-trait.png"));

        scripted.answerExec([](QDialog *d) {
            static_cast<ImageTitleDialog *>(d)->lineEdit->setText(QStringLiteral("Trait plot"));
            return int(QDialog::Accepted);
        });
        scripted.answerPath(output.filePath(QStringLiteral("trait.pdf")));
        traits->printButton->click();

        // By Position: find a SNP (typed in upper case); the panel moves to its region.
        window->tabs->setCurrentIndex(1);
        byPos *positions = window->positionPanel;
        scripted.answerExec([](QDialog *d) {
            static_cast<FindSNPDialog *>(d)->lineEdit->setText(QStringLiteral("RS1685402"));
            return int(QDialog::Accepted);
        });
        positions->findSNPButton->click();
        QTest::qWait(100);
        if (positions->regionRowCount() == 0)
            return fail(QStringLiteral("region of the found SNP is empty"));
        if (positions->chrName->currentText() != QLatin1String("6"))
            return fail(QStringLiteral("Find SNP chose chromosome ") + positions->chrName->currentText());
        const QImage regionPlot = positions->grab(positions->frame->geometry()).toImage();
        if (colourCount(regionPlot) < 3)
            return fail(QStringLiteral("region plot blank"));
        window->grab().save(QStringLiteral(QUILLMAP_SCREENS_DIR "/by-position.png"));

        scripted.answerExec([](QDialog *d) {
            static_cast<ImageTitleDialog *>(d)->lineEdit->setText(QStringLiteral("Region plot"));
            return int(QDialog::Accepted);
        });
        scripted.answerPath(output.filePath(QStringLiteral("region")));
        positions->printButton->click();

        // Traits: the list fills when first shown; the hotspot trait's QQ plot beside it.
        window->tabs->setCurrentIndex(2);
        QTest::qWait(100);
        TraitsTab *study = window->traitsTab;
        const QList<QStandardItem *> hotspot = study->model->findItems(QStringLiteral("ILMN_1660409"));
        if (hotspot.isEmpty())
            return fail(QStringLiteral("trait list lacks the hotspot trait"));
        study->table->selectRow(hotspot.first()->row());
        QTest::qWait(100);
        if (!study->qqView->hasPlot())
            return fail(QStringLiteral("no QQ plot"));
        window->grab().save(QStringLiteral(QUILLMAP_SCREENS_DIR "/traits.png"));
        window->tabs->setCurrentIndex(3);
        QTest::qWait(100);
        if (window->topLociTab->model->rowCount() == 0)
            return fail(QStringLiteral("no top loci"));
        window->grab().save(QStringLiteral(QUILLMAP_SCREENS_DIR "/top-loci.png"));
        // By SNP: every trait at a SNP typed as the user would.
        window->tabs->setCurrentWidget(window->bySnpTab);
        window->bySnpTab->showVariant(QStringLiteral("RS10958328"));
        QTest::qWait(100);
        if (window->bySnpTab->model->rowCount() == 0)
            return fail(QStringLiteral("no traits at rs10958328"));
        window->grab().save(QStringLiteral(QUILLMAP_SCREENS_DIR "/by-snp.png"));

        done = true;
        window->close();
    });
    poll.start();
    const int exitCode = runProgram();
    QVERIFY(accepted);
    QVERIFY(registrystore::read().contains(dataset.path()));
    QCOMPARE(quillmap::currentDatasetFolder(), dataset.path());
    QCOMPARE(scripted.pendingAnswers(), 0);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(done);
    QCOMPARE(exitCode, 0);
    QCOMPARE(scripted.unexpectedCalls(), 0);

    QVERIFY2(isOnePagePdf(output.filePath(QStringLiteral("trait.pdf")), &failure), qPrintable(failure));
    QVERIFY2(isOnePagePdf(output.filePath(QStringLiteral("region.pdf")), &failure), qPrintable(failure));
    // Kept beside the screens for a look at what users get.
    for (const char *name : {"trait.pdf", "region.pdf"}) {
        const QString kept = QStringLiteral(QUILLMAP_SCREENS_DIR "/") + QLatin1String(name);
        QFile::remove(kept);
        QFile::copy(output.filePath(QLatin1String(name)), kept);
    }
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
