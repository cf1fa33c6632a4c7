#pragma once

#include "import/importer.h"

#include <QString>

// The example study of examples/, the files a new user imports first.
QString examplesFolder();
// Its five input files (the gene positions only when asked for).
quillmap::ImportInputs exampleStudyInputs(bool withGenes = true);
// Imports it into `folder`.
quillmap::ImportResult importExampleStudy(const QString &folder, bool withGenes = true);
