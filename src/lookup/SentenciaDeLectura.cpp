#include "SentenciaDeLectura.h"

#include <QStringList>

namespace SentenciaDeLectura {

namespace {

const QStringList& PalabrasQueEscriben() {
    static const QStringList palabras{
        QStringLiteral("INSERT"),  QStringLiteral("UPDATE"),   QStringLiteral("DELETE"),
        QStringLiteral("MERGE"),   QStringLiteral("UPSERT"),   QStringLiteral("INTO"),
        QStringLiteral("CREATE"),  QStringLiteral("DROP"),     QStringLiteral("ALTER"),
        QStringLiteral("TRUNCATE"), QStringLiteral("GRANT"),   QStringLiteral("REVOKE"),
        QStringLiteral("EXEC"),    QStringLiteral("EXECUTE"),  QStringLiteral("CALL"),
        QStringLiteral("COPY"),    QStringLiteral("ATTACH"),   QStringLiteral("DETACH"),
        QStringLiteral("PRAGMA"),  QStringLiteral("VACUUM"),   QStringLiteral("REINDEX"),
        QStringLiteral("LOCK"),
    };
    return palabras;
}

// The statement's words outside quoted texts, quoted names and comments, in order; a ";"
// counts as a word of its own.
QStringList Palabras(QStringView s) {
    QStringList palabras;
    qsizetype i = 0;
    auto saltarHasta = [&](QStringView fin) {
        const qsizetype donde = s.indexOf(fin, i);
        i = donde < 0 ? s.size() : donde + fin.size();
    };
    while (i < s.size()) {
        const QChar c = s[i];
        if (c == u'\'' || c == u'"' || c == u'`') {
            // A doubled quote inside is part of the text: the search goes on after it.
            const QChar cierre = c;
            ++i;
            while (i < s.size()) {
                if (s[i] == cierre && !(i + 1 < s.size() && s[i + 1] == cierre))
                    break;
                i += s[i] == cierre ? 2 : 1;
            }
            ++i;
        } else if (c == u'[') {
            ++i;
            saltarHasta(u"]");
        } else if (s.mid(i, 2) == u"--") {
            saltarHasta(u"\n");
        } else if (s.mid(i, 2) == u"/*") {
            i += 2;
            saltarHasta(u"*/");
        } else if (c == u';') {
            palabras << QStringLiteral(";");
            ++i;
        } else if (c.isLetter() || c == u'_') {
            const qsizetype inicio = i;
            while (i < s.size() && (s[i].isLetterOrNumber() || s[i] == u'_' || s[i] == u'$'))
                ++i;
            palabras << s.mid(inicio, i - inicio).toString().toUpper();
        } else {
            ++i;
        }
    }
    return palabras;
}

} // namespace

QString PorQueEscribe(QStringView sentencia) {
    const QStringList palabras = Palabras(sentencia);
    if (palabras.isEmpty())
        return QStringLiteral("no hay sentencia");
    const QString& primera = palabras.first();
    if (primera != QLatin1String("SELECT") && primera != QLatin1String("WITH") &&
        primera != QLatin1String("VALUES"))
        return QStringLiteral("no es una consulta (empieza con %1)").arg(primera);
    for (qsizetype k = 0; k < palabras.size(); ++k) {
        if (palabras[k] == QLatin1String(";")) {
            if (k + 1 < palabras.size())
                return QStringLiteral("lleva más de una sentencia");
        } else if (PalabrasQueEscriben().contains(palabras[k])) {
            return QStringLiteral("escribiría o bloquearía (%1)").arg(palabras[k]);
        }
    }
    return {};
}

} // namespace SentenciaDeLectura
