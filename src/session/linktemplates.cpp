#include "session/linktemplates.h"

#include "session/sharedstate.h"

namespace quillmap {

namespace linkout {

namespace {
// The genome browser wants a session id; any fixed one gives a fresh session.
const char UcscTemplate[] =
    "https://genome.ucsc.edu/cgi-bin/hgTracks?hgsid=46170953&hgt.dummyEnterButton.x=0&hgt.dummyEnterButton.y=0"
    "&clade=vertebrate&org=Human&db=hg18&position=######&pix=620&hgsid=46170953";
const char NcbiTemplate[] = "https://www.ncbi.nlm.nih.gov/sites/gquery?term=######";
const char OmimTemplate[] =
    "https://www.ncbi.nlm.nih.gov/sites/entrez?db=omim&EntrezSystem2.PEntrez.Omim.SearchBar.Term=######";
const char EnsemblTemplate[] = "https://www.ensembl.org/Homo_sapiens/searchview?species=;idx=;q=######";
const char GoogleTemplate[] = "https://www.google.com/search?hl=en&q=######";
} // namespace

QString builtInTemplate(Database database, quillmap::GenomeBuild build)
{
    switch (database) {
    case Ucsc:
        return QString::fromLatin1(UcscTemplate)
            .replace(QLatin1String("&db=hg18&"),
                     QLatin1String("&db=") + quillmap::genomeBuildName(build) + QLatin1Char('&'));
    case Ncbi:
        return QString::fromLatin1(NcbiTemplate);
    case Omim:
        return QString::fromLatin1(OmimTemplate);
    case Ensembl:
        return QString::fromLatin1(EnsemblTemplate);
    case Google:
        return QString::fromLatin1(GoogleTemplate);
    case Other:
    case DatabaseCount:
        break;
    }
    return QString();
}

void fillLinkLists(quillmap::GenomeBuild build)
{
    QStringList &templates = quillmap::linkTemplates();
    templates.clear();
    for (int d = Ucsc; d <= Google; ++d)
        templates << builtInTemplate(Database(d), build);
    templates << QStringLiteral("blank");

    quillmap::databaseNames() = QStringList{QStringLiteral("UCSC"),   QStringLiteral("NCBI"),
                                            QStringLiteral("OMIM"),   QStringLiteral("ENSEMBL"),
                                            QStringLiteral("GOOGLE"), QStringLiteral("OTHER")};
}

void setCustomTemplate(const QString &linkTemplate)
{
    if (quillmap::linkTemplates().size() < DatabaseCount)
        fillLinkLists();
    quillmap::linkTemplates()[Other] = linkTemplate;
    quillmap::chosenDatabase() = Other;
}

QUrl linkUrl(const QString &term)
{
    const QStringList &templates = quillmap::linkTemplates();
    const int chosen = quillmap::chosenDatabase();
    if (chosen < 0 || chosen >= templates.size())
        return QUrl();
    QString url = templates.at(chosen);
    // Inserted raw, a term such as "A&B" or "x#1" would add a query item or cut the URL short.
    url.replace(QLatin1String(quillmap::SearchPlaceholder),
                QString::fromLatin1(QUrl::toPercentEncoding(term)), Qt::CaseSensitive);
    return QUrl(url, QUrl::TolerantMode);
}

} // namespace linkout

} // namespace quillmap
