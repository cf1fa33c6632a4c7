#pragma once

#include "common/formdialog.h"
#include "ui_startup.h"

namespace quillmap {

// The first window of every run: lists the registered dataset folders, runs the load wizard,
// removes folders from the registry and opens a dataset for browsing. The entry point reads
// isAccepted() after the dialog has closed.
class StartupDialog final : public FormDialog<Ui::startup>
{
    Q_OBJECT

public:
    explicit StartupDialog(QWidget *parent = nullptr);

    // True only after BROWSE DATA found an error-free report.
    bool isAccepted() const { return m_accepted; }

    // Registry operations; both rewrite key "path" whole and select the placeholder.
    // addDataset appends `folder` unless already registered (exact, case-sensitive).
    void addDataset(const QString &folder);
    // removeDataset drops the first entry equal to `text`; the folder stays on disk.
    void removeDataset(const QString &text);

private slots:
    void loadData1();
    void browseData1();
    void removeData();

private:
    void fillComboBox();

    bool m_accepted = false;
};

} // namespace quillmap
