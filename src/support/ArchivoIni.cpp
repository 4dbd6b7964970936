#include "ArchivoIni.h"

#include "Cp1252.h"
#include "Entorno.h"

#include <QDir>
#include <QFile>

namespace {
QStringView SinBlancos(QStringView t) {
    qsizetype i = 0, n = t.size();
    while (i < n && (t[i] == u' ' || t[i] == u'\t'))
        ++i;
    while (n > i && (t[n - 1] == u' ' || t[n - 1] == u'\t' || t[n - 1] == u'\r'))
        --n;
    return t.mid(i, n - i);
}
} // namespace

QString ArchivoIni::LeerValor(const QString& archivo, const QString& seccion,
                              const QString& clave, const QString& defecto) const {
    const QString ruta = QDir::isAbsolutePath(archivo)
                             ? archivo
                             : Entorno::CarpetaDelPrograma() + archivo;
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return defecto;
    return BuscarValor(Cp1252::Decodificar(f.readAll()), seccion, clave, defecto);
}

QString ArchivoIni::BuscarValor(const QString& contenido, const QString& seccion,
                                const QString& clave, const QString& defecto) {
    const QStringView seccionBuscada = SinBlancos(seccion);
    const QStringView claveBuscada = SinBlancos(clave);
    bool dentro = false;
    bool seccionVista = false;
    for (QStringView linea : QStringView(contenido).split(u'\n')) {
        linea = SinBlancos(linea);
        if (linea.isEmpty() || linea.startsWith(u';'))
            continue;
        if (linea.startsWith(u'[')) {
            if (seccionVista)
                break;
            const qsizetype cierre = linea.indexOf(u']');
            const QStringView nombre =
                SinBlancos(linea.mid(1, cierre < 0 ? linea.size() - 1 : cierre - 1));
            dentro = nombre.compare(seccionBuscada, Qt::CaseInsensitive) == 0;
            seccionVista = dentro;
            continue;
        }
        if (!dentro)
            continue;
        const qsizetype igual = linea.indexOf(u'=');
        if (igual < 0)
            continue;
        if (SinBlancos(linea.left(igual)).compare(claveBuscada, Qt::CaseInsensitive) != 0)
            continue;
        QStringView valor = SinBlancos(linea.mid(igual + 1));
        if (valor.size() >= 2 && (valor.front() == u'"' || valor.front() == u'\'') &&
            valor.back() == valor.front())
            valor = valor.mid(1, valor.size() - 2);
        return valor.toString();
    }
    return defecto;
}
