#pragma once

#include "dataset/genomebuild.h"

#include <QString>
#include <QUrl>

namespace quillmap {

// The link-out state (template list, database name list, chosen index) lives in
// common/sharedstate.h; these functions fill and read it.
namespace linkout {

// Database indexes, in chooser order.
enum Database { Ucsc = 0, Ncbi, Omim, Ensembl, Google, Other, DatabaseCount };

// The built-in template of `database` (Ucsc to Google); "######" marks the term. UCSC's opens
// the database of `build`.
QString builtInTemplate(Database database, quillmap::GenomeBuild build = quillmap::GenomeBuild::Hg18);

// Fills the template list with the five built-in templates and "blank" (the custom template
// until the user stores one), and the name list with "UCSC", "NCBI", "OMIM", "ENSEMBL",
// "GOOGLE", "OTHER". Both lists are replaced whole, so calling it twice changes nothing. The
// UCSC template opens the database of `build`, the open dataset's.
void fillLinkLists(quillmap::GenomeBuild build = quillmap::GenomeBuild::Hg18);

// Stores `linkTemplate` as the custom template (entry Other) and chooses it. Fills the lists
// first if they were never filled.
void setCustomTemplate(const QString &linkTemplate);

// The URL that the chosen database opens for `term`: every "######" of its template replaced by
// the term, percent-encoded so that a term holding '&', '#', '+' or '%' keeps the URL's meaning;
// parsed in tolerant mode. A template without the placeholder ("blank") is used unchanged. An
// empty URL when the lists were never filled.
QUrl linkUrl(const QString &term);

} // namespace linkout

} // namespace quillmap
