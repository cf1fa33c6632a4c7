#include "support/examplestudy.h"

#include <QDir>

using namespace quillmap;

QString examplesFolder()
{
    return QDir::cleanPath(QStringLiteral(QUILLMAP_SOURCE_DIR "/examples"));
}

ImportInputs exampleStudyInputs(bool withGenes)
{
    const QString examples = examplesFolder();
    ImportInputs inputs;
    inputs.results = examples + QStringLiteral("/results.txt");
    inputs.snpInfo = examples + QStringLiteral("/snp_info.txt");
    inputs.traitInfo = examples + QStringLiteral("/trait_info.txt");
    inputs.groups = examples + QStringLiteral("/trait_groups.txt");
    if (withGenes)
        inputs.genes = examples + QStringLiteral("/gene_positions.txt");
    return inputs;
}

ImportResult importExampleStudy(const QString &folder, bool withGenes)
{
    return runImport(folder, exampleStudyInputs(withGenes));
}
