#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace quillmap {

class Dataset;

// Opens the dataset in `folder` for browsing, the splash picture up while it loads. A dataset
// that cannot be loaded is reported in an information box (over `parent`) and gives an unloaded
// dataset, so the window built on it stands inert. Never null.
std::shared_ptr<const Dataset> openDatasetForBrowsing(const QString &folder, QWidget *parent = nullptr);

} // namespace quillmap
