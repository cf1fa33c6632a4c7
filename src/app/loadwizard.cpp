#include "app/loadwizard.h"

#include "common/dialogprovider.h"
#include "common/waitcursor.h"
#include "session/sharedstate.h"
#include "dataset/genomebuild.h"
#include "import/importer.h"
#include "import/toolimport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QThread>

#include <optional>

namespace quillmap {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StartupDialog", text);
}

// Shows how far the import has come. The import runs on this thread, so the window is only
// repainted when the progress callback lets pending paint events through; user input waits
// until the import is over, as it would without the window.
class ImportProgressWindow final
{
public:
    explicit ImportProgressWindow(QWidget *parent)
        : m_dialog(parent)
    {
        m_dialog.setWindowTitle(tr("Loading the data"));
        m_dialog.setLabelText(tr("Generating indexing files..."));
        m_dialog.setCancelButton(nullptr);
        m_dialog.setRange(0, 0);
        m_dialog.setMinimumDuration(0);
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.show();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_clock.start();
    }

    void update(ImportStage stage, qint64 rowsRead)
    {
        if (QThread::currentThread() != m_dialog.thread())
            return;
        // Repainting costs far more than reading a row: a new stage shows at once, rows at
        // most ten times a second.
        if (stage == m_stage && m_clock.elapsed() < 100)
            return;
        m_stage = stage;
        m_clock.restart();
        m_dialog.setLabelText(
            tr("%1\n%2 rows read").arg(importStageText(stage), QLocale().toString(rowsRead)));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

    void close() { m_dialog.hide(); }

private:
    QProgressDialog m_dialog;
    QElapsedTimer m_clock;
    std::optional<ImportStage> m_stage;
};

// Where the wizard's file dialogs start: the folder of the file chosen last, at first the
// working directory.
QString inputFolder()
{
    const QString &last = quillmap::lastInputFolder();
    return last.isEmpty() ? QDir::currentPath() : last;
}

void rememberInputFolder(const QString &path)
{
    if (!path.isEmpty())
        quillmap::lastInputFolder() = QFileInfo(path).absolutePath();
}

// An open-file dialog of the wizard.
QString askInputFile(QWidget *parent, const char *filter)
{
    const QString path = DialogProvider::instance().openFileName(parent, tr("Open File"), inputFolder(),
                                                                 tr(filter));
    rememberInputFolder(path);
    return path;
}

// The two optional files, each behind its question: trait groups and gene positions.
void askOptionalFiles(QWidget *parent, QString &groups, QString &genes)
{
    const struct {
        const char *question;
        const char *filter;
        QString *path;
    } optional[] = {{"Please choose <b>optional</b> file 4 (Trait group). \n"
                     "If you don't have this file, click NO button.The format could be as following:\t"
                     "Trait Group",
                     "File4 (*.*)", &groups},
                    {"Please choose <b>optional</b> file 5 (Gene Position). \n"
                     "If you don't have this file, click NO button.The format could be as following:\t"
                     "Gene Chr Start End",
                     "File5 (*.*)", &genes}};
    for (const auto &file : optional) {
        if (dialogs::askYesNo(parent, dialogs::Markup{tr(file.question)}))
            *file.path = askInputFile(parent, file.filter);
    }
}

// The wizard's road for association tool output: the study's other files, the build, the import.
LoadWizardResult runToolWizard(QWidget *parent, LoadWizardResult result, quillmap::ToolFormat format,
                               const QString &first)
{
    DialogProvider &dialogProvider = DialogProvider::instance();
    dialogs::notice(parent,
                    tr("The file is %1 output, one trait per file. Please choose the other files"
                       " of this study (several at once), or cancel to import this file alone.")
                        .arg(quillmap::toolFormatName(format)));
    quillmap::ToolImportInputs inputs;
    inputs.format = format;
    inputs.files = QStringList{first};
    for (const QString &path : dialogProvider.openFileNames(parent, tr("Open File"), inputFolder(),
                                                            tr("Association results (*)"))) {
        rememberInputFolder(path);
        if (!inputs.files.contains(path))
            inputs.files.append(path);
    }
    // Groups and gene positions as the five-file road asks for them: tool output holds neither.
    askOptionalFiles(parent, inputs.groups, inputs.genes);
    // The build, newest first: one question each, No to all stops.
    for (quillmap::GenomeBuild build :
         {quillmap::GenomeBuild::Hg38, quillmap::GenomeBuild::Hg19, quillmap::GenomeBuild::Hg18}) {
        if (dialogs::askYesNo(
                parent,
                tr("Are the positions on the genome build %1?").arg(quillmap::genomeBuildName(build)))) {
            inputs.build = build;
            break;
        }
    }
    if (!inputs.build)
        return result;

    dialogs::notice(parent,
                    tr("File loading is done. It may take a while to generate indexing files for browser."));
    quillmap::ToolImportResult imported;
    {
        quillmap::WaitCursor waitCursor;
        ImportProgressWindow progressWindow(parent);
        imported = quillmap::runToolImport(result.folder, inputs,
                                           [&progressWindow](ImportStage stage, qint64 rowsRead) {
                                               progressWindow.update(stage, rowsRead);
                                           });
        progressWindow.close();
    }
    if (imported.import.failed) {
        dialogs::information(
            parent,
            tr("There is error when loading the data, please check summary.txt for details.\n")
                + imported.import.errorText);
        result.outcome = LoadWizardResult::Failed;
        return result;
    }
    dialogs::notice(
        parent,
        tr("Finish loading data, you can choose the data set from the list and click 'Browse Data' button.")
            + QStringLiteral("\n\n") + quillmap::toolImportReport(imported).trimmed());
    result.outcome = LoadWizardResult::Imported;
    return result;
}

} // namespace

LoadWizardResult runLoadWizard(QWidget *parent)
{
    LoadWizardResult result;
    DialogProvider &dialogProvider = DialogProvider::instance();

    const QString folder = dialogProvider.existingDirectory(
        parent,
        tr("Please choose a folder to store the indexing files! Use different folders for each data set"),
        QDir::currentPath(), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (folder.isEmpty())
        return result;
    result.folder = folder;
    quillmap::currentDatasetFolder() = folder;

    // An earlier import leaves its report behind: ask before overwriting that dataset.
    if (QFile(folder + QStringLiteral("/summary.txt")).open(QIODevice::ReadOnly)
        && !dialogs::askYesNo(parent, QStringLiteral("Are you sure to reload the dataset?"),
                              QStringLiteral("Loading the data")))
        return result;

    dialogs::notice(
        parent,
        dialogs::Markup{tr(
            "Before loading, please make sure all the files are tab-delimited and SNP position in <b>Mb</b>.\r"
            "You only need to load data the first time you launch this program.")});

    ImportInputs inputs;
    const struct {
        const char *notice;
        const char *filter;
        QString *path;
    } required[] = {{"Please choose <b>required</b> file 1 (results). The format could be as following:\r"
                     " Trait SNP statistic1 statistic2 ...",
                     "File1 (*.*)", &inputs.results},
                    {"Please choose <b>required</b> file 2 (SNP info).The format could be as following:\r"
                     "SNP chr pos col1 col2 ...",
                     "File2 (*.*)", &inputs.snpInfo},
                    {"Please choose <b>required</b> file 3 (Trait info).The format could be as following:\r"
                     "Trait col1 col2 ..",
                     "File3 (*.*)", &inputs.traitInfo}};
    for (const auto &file : required) {
        dialogs::notice(parent, dialogs::Markup{tr(file.notice)});
        *file.path = askInputFile(parent, file.filter);
        if (file.path->isEmpty())
            return result;
        // Association tool output needs none of the five-file questions.
        if (file.path == &inputs.results) {
            if (const std::optional<quillmap::ToolFormat> format = quillmap::recogniseToolFile(
                    inputs.results))
                return runToolWizard(parent, result, *format, inputs.results);
        }
    }

    askOptionalFiles(parent, inputs.groups, inputs.genes);

    dialogs::notice(parent,
                    tr("File loading is done. It may take a while to generate indexing files for browser."));

    ImportResult imported;
    {
        quillmap::WaitCursor waitCursor;
        ImportProgressWindow progressWindow(parent);
        // The five files carry no build: an earlier import's record must not outlive its data.
        const quillmap::Status unrecorded = quillmap::writeGenomeBuild(folder, std::nullopt);
        if (!unrecorded) {
            imported.failed = true;
            imported.failure = ImportResult::Failure::WriteFailure;
            imported.errorText = unrecorded.message();
        } else {
            imported = runImport(folder, inputs, [&progressWindow](ImportStage stage, qint64 rowsRead) {
                progressWindow.update(stage, rowsRead);
            });
        }
        progressWindow.close();
    }

    if (imported.failed) {
        dialogs::information(
            parent,
            tr("There is error when loading the data, please check summary.txt for details.\n")
                + imported.errorText);
        result.outcome = LoadWizardResult::Failed;
        return result;
    }

    // Values single precision lost are named beside the usual words, never instead of them.
    QString finished = tr(
        "Finish loading data, you can choose the data set from the list and click 'Browse Data' button.");
    if (!imported.lost.isEmpty())
        finished += QStringLiteral("\n\n") + lostValuesNotice(imported.lost).trimmed();
    dialogs::notice(parent, finished);
    result.outcome = LoadWizardResult::Imported;
    return result;
}

} // namespace quillmap
