#include "ArchivoIni.h"
#include "Archivos.h"
#include "Ayudas.h"
#include "Entorno.h"
#include "Falla.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(ArchivoIni, SectionsAndKeysAreFoundWithoutRegardToCaseAndTheFirstWins) {
    const QString ini = QStringLiteral(
        "; comentario\r\n"
        "[Otra]\r\nFlatToolbars=9\r\n"
        "[EQUIPO|ANA]\r\n  flattoolbars  =  0  \r\nFlatToolbars=7\r\n"
        "Ruta = \"C:\\Datos Ñ\" \r\nNota=valor ; no es comentario\r\n;Clave=comentada\r\n"
        "[equipo|ana]\r\nExtra=segunda seccion\r\n");
    EXPECT_EQ(ArchivoIni::BuscarValor(ini, QStringLiteral("equipo|Ana"),
                                      QStringLiteral("FLATTOOLBARS"), QStringLiteral("1")),
              QStringLiteral("0"));
    EXPECT_EQ(ArchivoIni::BuscarValor(ini, QStringLiteral("EQUIPO|ANA"), QStringLiteral("Ruta"), {}),
              QStringLiteral("C:\\Datos Ñ"));
    EXPECT_EQ(ArchivoIni::BuscarValor(ini, QStringLiteral("EQUIPO|ANA"), QStringLiteral("Nota"), {}),
              QStringLiteral("valor ; no es comentario"));
    EXPECT_EQ(ArchivoIni::BuscarValor(ini, QStringLiteral("EQUIPO|ANA"), QStringLiteral("Clave"),
                                      QStringLiteral("def")),
              QStringLiteral("def"));
    EXPECT_EQ(ArchivoIni::BuscarValor(ini, QStringLiteral("EQUIPO|ANA"), QStringLiteral("Extra"),
                                      QStringLiteral("def")),
              QStringLiteral("def"));
    EXPECT_EQ(ArchivoIni::BuscarValor(ini, QStringLiteral("Nada"), QStringLiteral("X"),
                                      QStringLiteral("d")),
              QStringLiteral("d"));
}

TEST(ArchivoIni, TheFileIsReadFromTheApplicationFolderAsWindowsText) {
    Pruebas::CarpetaPrueba carpeta;
    ArchivoIni& ini = ArchivoIni::Instancia();
    EXPECT_EQ(ini.LeerValor(QStringLiteral("KD000pr.INI"), QStringLiteral("Iconos"),
                            QStringLiteral("IconoDelSistema"), QStringLiteral("X")),
              QStringLiteral("X"));
    carpeta.Escribir(QStringLiteral("KD000pr.INI"),
                     QStringLiteral("[Iconos]\r\nIconoDelSistema=Compañía\r\n"));
    EXPECT_EQ(ini.LeerValor(QStringLiteral("KD000pr.INI"), QStringLiteral("ICONOS"),
                            QStringLiteral("icononelsistema"), QStringLiteral("X")),
              QStringLiteral("X"));
    EXPECT_EQ(ini.LeerValor(QStringLiteral("KD000pr.INI"), QStringLiteral("ICONOS"),
                            QStringLiteral("iconodelsistema"), QStringLiteral("X")),
              QStringLiteral("Compañía"));
}

TEST(Archivos, LinesAreAppendedAsWindowsTextAndReachTheFileAtOnce) {
    Pruebas::CarpetaPrueba carpeta;
    const QString ruta = carpeta.Archivo(QStringLiteral("registro.log"));
    carpeta.Escribir(QStringLiteral("registro.log"), QStringLiteral("anterior\r\n"));
    const qint16 n = Archivos::NumeroLibre();
    Archivos::AbrirParaAnexar(n, ruta);
    EXPECT_NE(Archivos::NumeroLibre(), n);
    Archivos::EscribirLinea(n, QStringLiteral("RMÑ0001"));
    Archivos::EscribirLinea(n, QString());
    {
        QFile f(ruta); // read while still open: nothing waits in a buffer
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("anterior\r\nRM\xD1" "0001\r\n\r\n"));
    }
    Archivos::Cerrar(n);
    EXPECT_FALSE(Archivos::Abierto(n));
    Archivos::Cerrar(n);
    EXPECT_THROW(Archivos::EscribirLinea(n, QStringLiteral("x")), Falla);
}

TEST(Archivos, APathTakenByAFolderOrAMissingFolderIsAFailure) {
    Pruebas::CarpetaPrueba carpeta;
    QDir(carpeta.Ruta()).mkdir(QStringLiteral("carpeta.log"));
    const qint16 n = Archivos::NumeroLibre();
    try {
        Archivos::AbrirParaAnexar(n, carpeta.Archivo(QStringLiteral("carpeta.log")));
        FAIL();
    } catch (const Falla& f) {
        EXPECT_EQ(f.Numero(), Errores::AccesoDenegado);
    }
    try {
        Archivos::AbrirParaAnexar(n, carpeta.Archivo(QStringLiteral("no/hay/x.log")));
        FAIL();
    } catch (const Falla& f) {
        EXPECT_EQ(f.Numero(), Errores::RutaNoEncontrada);
    }
    EXPECT_FALSE(Archivos::Abierto(n));
}

TEST(Archivos, FixedLengthRecordsAreWrittenAndReadByNumber) {
    Pruebas::CarpetaPrueba carpeta;
    const qint16 n = Archivos::NumeroLibre();
    Archivos::AbrirAleatorio(n, carpeta.Archivo(QStringLiteral("r.dat")), 4);
    Archivos::EscribirRegistro(n, 2, QByteArray("abcdef"));
    Archivos::EscribirRegistro(n, 1, QByteArray("xy"));
    EXPECT_EQ(Archivos::Largo(n), 8);
    EXPECT_EQ(Archivos::LeerRegistro(n, 1), QByteArray("xy\0\0", 4));
    EXPECT_EQ(Archivos::LeerRegistro(n, 2), QByteArray("abcd"));
    EXPECT_EQ(Archivos::LeerRegistro(n, 3), QByteArray());
    Archivos::Cerrar(n);
}

// A folder shared by a group (set-group-ID, group-writable) makes the files this process
// creates writable by the group, so the next user can append to the run log; any other
// folder leaves the process's permissions alone.
TEST(Entorno, FilesCreatedInAFolderSharedByAGroupAreWritableByTheGroup) {
    const mode_t antes = ::umask(022);
    Pruebas::CarpetaPrueba carpeta;
    const QByteArray ruta = QFile::encodeName(carpeta.Ruta());
    const auto permisosDeUnArchivoNuevo = [&](const char* nombre) {
        const int numero = Archivos::NumeroLibre();
        Archivos::AbrirParaAnexar(numero, carpeta.Ruta() + QLatin1String(nombre));
        Archivos::EscribirLinea(numero, QStringLiteral("RMR1"));
        Archivos::Cerrar(numero);
        return QFile::permissions(carpeta.Ruta() + QLatin1String(nombre));
    };

    ASSERT_EQ(::chmod(ruta.constData(), 0775), 0);
    EXPECT_FALSE(Entorno::CompartirConElGrupo(carpeta.Ruta()));
    EXPECT_FALSE(permisosDeUnArchivoNuevo("privado.log") & QFile::WriteGroup);
    EXPECT_FALSE(Entorno::CompartirConElGrupo(carpeta.Ruta() + QStringLiteral("no-existe")));

    ASSERT_EQ(::chmod(ruta.constData(), 02775), 0);
    EXPECT_TRUE(Entorno::CompartirConElGrupo(carpeta.Ruta()));
    EXPECT_TRUE(permisosDeUnArchivoNuevo("compartido.log") & QFile::WriteGroup);
    ::umask(antes);
}

} // namespace
