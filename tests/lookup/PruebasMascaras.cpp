// The lookup request and its masks file.
#include "Ayudas.h"
#include "Conexion.h"
#include "Lib_ClsCons2.h"
#include "Lib_FrmCons2.h"
#include "MascaraConsulta.h"
#include "ModGlobal.h"
#include "Rutina.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QByteArray Relleno(const char* texto, int ancho) {
    QByteArray b(texto);
    return b + QByteArray(ancho - b.size(), ' ');
}

QByteArray RegistroEsperado(const char* nombre, const char* tabla, const char* campos) {
    return Relleno(nombre, 100) + Relleno(tabla, 100) + Relleno(campos, 500) + Relleno("", 500) +
           "\r\n";
}

QByteArray Leer(const QString& ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Mascaras : public ::testing::Test {
protected:
    void SetUp() override {
        consulta.gUsarMascarasConsultas = true;
        consulta.gRutaMascaraConsultas = carpeta.Archivo(QStringLiteral("consultas.zvr"));
    }
    void Escribir(const QByteArray& bytes) {
        QFile f(consulta.gRutaMascaraConsultas);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    // The statement a name stands for, and the search column it leaves.
    std::pair<QString, QString> Sentencia(const QString& nombre, const QString& campo = {}) {
        QString sql = nombre;
        QString busqueda = campo;
        consulta.AplicarMascara(sql, busqueda);
        return {sql, busqueda};
    }

    Pruebas::CarpetaPrueba carpeta;
    Lib_ClsCons2 consulta;
};

TEST_F(Mascaras, TheDefaultFileHoldsTheFourRecordsByteForByte) {
    consulta.GrabarMascarasPorDefecto();
    const QByteArray bytes = Leer(consulta.gRutaMascaraConsultas);
    ASSERT_EQ(bytes.size(), 4808);
    EXPECT_EQ(bytes, RegistroEsperado("ARTICULOS", "V_MA_ARTICULOS", "|DESCRIPCION|IDARTICULO|") +
                         RegistroEsperado("CLIENTES", "VT_CLIENTES", "|RAZON_SOCIAL|CODIGO|CONTACTO|") +
                         RegistroEsperado("PROVEEDORES", "VT_PROVEEDORES", "|RAZON_SOCIAL|CODIGO|") +
                         RegistroEsperado("CONTACTOS", "MA_CONTACTOS",
                                          "|Nombre_y_Apellido|Domicilio|Localidad|Telefono|"));
}

TEST_F(Mascaras, RecordsGoAfterTheLastWholeRecordAndLongTextsAreCut) {
    Escribir(RegistroEsperado("PRIMERO", "T1", "|A|") + QByteArray("resto cortado"));
    consulta.GrabarMascarasPorDefecto();
    const QByteArray bytes = Leer(consulta.gRutaMascaraConsultas);
    ASSERT_EQ(bytes.size(), 5 * 1202);
    EXPECT_EQ(bytes.left(1202), RegistroEsperado("PRIMERO", "T1", "|A|"));
    EXPECT_EQ(bytes.mid(1202, 9), QByteArray("ARTICULOS"));

    MascaraConsulta m;
    m.Tabla = QString(150, u'T');
    m.Campos = QStringLiteral("|Ñandú|") + QString(600, u'C');
    const QByteArray registro = m.Codificar();
    ASSERT_EQ(registro.size(), 1202);
    EXPECT_EQ(registro.mid(100, 100), QByteArray(100, 'T'));
    EXPECT_EQ(quint8(registro[201]), 0xD1); // Windows text
    EXPECT_EQ(registro.right(2), QByteArray("\r\n"));
    EXPECT_EQ(MascaraConsulta::Decodificar(registro).Campos.left(7), QStringLiteral("|Ñandú|"));
}

TEST_F(Mascaras, TheDefaultTablesGiveTheirStatements) {
    consulta.GrabarMascarasPorDefecto();
    EXPECT_EQ(Sentencia(QStringLiteral("  v_ma_Articulos ")),
              std::pair(QStringLiteral("SELECT DESCRIPCION,IDARTICULO FROM V_MA_ARTICULOS WHERE SUSPENDIDO = 0"),
                        QStringLiteral("DESCRIPCION")));
    EXPECT_EQ(Sentencia(QStringLiteral("VT_CLIENTES")).first,
              QStringLiteral("SELECT RAZON_SOCIAL,CODIGO,CONTACTO FROM VT_CLIENTES WHERE Dada_De_Baja = 0"));
    EXPECT_EQ(Sentencia(QStringLiteral("VT_PROVEEDORES")).first,
              QStringLiteral("SELECT RAZON_SOCIAL,CODIGO FROM VT_PROVEEDORES WHERE Dada_De_Baja = 0"));
    EXPECT_EQ(Sentencia(QStringLiteral("MA_CONTACTOS")).first,
              QStringLiteral("SELECT Nombre_y_Apellido,Domicilio,Localidad,Telefono FROM MA_CONTACTOS"));
    // A record's name is not its table; a search column given is kept.
    EXPECT_EQ(Sentencia(QStringLiteral("ARTICULOS")),
              std::pair(QStringLiteral("ARTICULOS"), QString()));
    EXPECT_EQ(Sentencia(QStringLiteral("V_MA_ARTICULOS"), QStringLiteral("IDARTICULO")).second,
              QStringLiteral("IDARTICULO"));
}

TEST_F(Mascaras, OwnFiltersBlankColumnsAndTheFirstOfTwoRecords) {
    MascaraConsulta propia;
    propia.Tabla = QStringLiteral("VT_CLIENTES");
    propia.Campos = QStringLiteral("|CODIGO|");
    propia.Filtro = QStringLiteral("LOCALIDAD = 'Rosario'");
    MascaraConsulta segunda;
    segunda.Tabla = QStringLiteral("vt_clientes");
    segunda.Campos = QStringLiteral("|OTRA|COSA|");
    MascaraConsulta vacia;
    vacia.Tabla = QString(QChar(0)) + QStringLiteral("MA_NOTAS") + QChar(255);
    Escribir(propia.Codificar() + segunda.Codificar() + vacia.Codificar());
    EXPECT_EQ(Sentencia(QStringLiteral("VT_CLIENTES")),
              std::pair(QStringLiteral("SELECT CODIGO FROM VT_CLIENTES WHERE LOCALIDAD = 'Rosario'"),
                        QString()));
    EXPECT_EQ(Sentencia(QStringLiteral("MA_NOTAS")),
              std::pair(QStringLiteral("SELECT * FROM MA_NOTAS"), QString()));
}

TEST_F(Mascaras, WithoutAUsableFileTheStatementGoesAsItCame) {
    const auto sinCambios = std::pair(QStringLiteral("V_MA_ARTICULOS"), QString());
    EXPECT_EQ(Sentencia(QStringLiteral("V_MA_ARTICULOS")), sinCambios); // missing
    Escribir({});
    EXPECT_EQ(Sentencia(QStringLiteral("V_MA_ARTICULOS")), sinCambios); // empty
    consulta.GrabarMascarasPorDefecto();
    consulta.gUsarMascarasConsultas = false;
    EXPECT_EQ(Sentencia(QStringLiteral("V_MA_ARTICULOS")), sinCambios); // switched off
    consulta.gUsarMascarasConsultas = true;
    QFile::remove(consulta.gRutaMascaraConsultas);
    QDir(carpeta.Ruta()).mkdir(QStringLiteral("consultas.zvr"));
    EXPECT_EQ(Sentencia(QStringLiteral("V_MA_ARTICULOS")), sinCambios); // a folder
}

TEST_F(Mascaras, ADamagedFileIsReadUpToItsLastWholeRecord) {
    // Arbitrary bytes, a record cut short, and every byte value: nothing crashes, and only
    // whole records count.
    QByteArray basura;
    for (int i = 0; i < 3000; ++i)
        basura += char((i * 37) % 256);
    MascaraConsulta buena;
    buena.Tabla = QStringLiteral("T_BUENA");
    Escribir(basura.left(1202) + buena.Codificar() + buena.Codificar().left(700));
    EXPECT_EQ(Sentencia(QStringLiteral("T_BUENA")).first, QStringLiteral("SELECT * FROM T_BUENA"));
    MascaraConsulta cortada;
    cortada.Tabla = QStringLiteral("T_CORTADA");
    Escribir(cortada.Codificar().left(1201));
    EXPECT_EQ(Sentencia(QStringLiteral("T_CORTADA")).first, QStringLiteral("T_CORTADA"));
    Escribir(basura);
    EXPECT_EQ(Sentencia(QStringLiteral("X")).first, QStringLiteral("X"));
}

TEST_F(Mascaras, AFileShorterThanOneRecordIsSaidToNameNoTable) {
    EXPECT_EQ(consulta.MascarasSinRegistros(), QString()); // missing
    for (const int bytes : {0, 1201, 1202}) {
        Escribir(QByteArray(bytes, ' '));
        const QString aviso = consulta.MascarasSinRegistros();
        const QString dicho = consulta.gRutaMascaraConsultas +
                              QStringLiteral(" mide menos que un registro (%1 bytes)").arg(bytes);
        EXPECT_EQ(aviso.contains(dicho) && aviso.contains(QStringLiteral("bórrelo")), bytes < 1202)
            << aviso.toStdString();
    }
    Escribir({});
    consulta.gUsarMascarasConsultas = false;
    EXPECT_EQ(consulta.MascarasSinRegistros(), QString());
}

TEST(MascarasEnDiscoLleno, LeaveNoFileAndTheNextStartWritesTheFourRecords) {
    Pruebas::CarpetaPrueba carpeta;
    const QString lleno = carpeta.Archivo(QStringLiteral("lleno"));
    // One page: the four records (4808 bytes) do not fit.
    Pruebas::Montaje montaje(lleno, "size=4k,mode=0755");
    REQUIERE_MONTAJE(montaje);
    auto arrancar = [&] {
        Rutina rutina(EstiloFallas::OmitirSolo5);
        ModGlobal::PrepararConsultas(rutina, lleno + u'/');
        return rutina.UltimaFalla() ? rutina.UltimaFalla()->Numero() : 0;
    };
    EXPECT_EQ(arrancar(), Errores::DiscoLleno);
    EXPECT_EQ(QDir(lleno).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    ASSERT_TRUE(montaje.Remontar("size=1m")) << montaje.Error().toStdString();
    EXPECT_EQ(arrancar(), 0);
    EXPECT_EQ(Leer(lleno + QStringLiteral("/consultas.zvr")).size(), 4 * MascaraConsulta::Largo);
}

// A whole lookup through the request, the person's actions driven by real events.
class LookupCompleto : public ::testing::Test {
protected:
    void SetUp() override {
        Pruebas::ConectarSqlite(Conexion::Instancia(),
                                Pruebas::CrearBaseSqlite(carpeta, QStringLiteral("demo.db"), 20));
        consulta.gUsarMascarasConsultas = true;
        consulta.gRutaMascaraConsultas = carpeta.Archivo(QStringLiteral("consultas.zvr"));
        consulta.GrabarMascarasPorDefecto();
        campos = NuevaCollection();
        campos->Add(QStringLiteral("IDARTICULO"));
        delLlamador = campos;
    }
    // Runs accion inside the modal display, once the window is on screen.
    void AlMostrarse(std::function<void(Lib_FrmCons2&)> accion) {
        QTimer::singleShot(0, [accion] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* ventana = qobject_cast<Lib_FrmCons2*>(w); ventana && ventana->isVisible()) {
                    accion(*ventana);
                    return;
                }
        });
    }

    Pruebas::CarpetaPrueba carpeta;
    InteraccionGuion& guion = Pruebas::NuevoGuion();
    Lib_ClsCons2 consulta;
    RefCollection campos;
    RefCollection delLlamador;
    QString clave;
    QString busqueda;
};

TEST_F(LookupCompleto, AcceptedTheResultsComeBackAndTheCallersCollectionIsEmptied) {
    consulta.UsaCantidades = true;
    consulta.CampoDevuelto = QStringLiteral("DESCRIPCION");
    QString descripcion;
    AlMostrarse([&](Lib_FrmCons2& v) {
        QTest::keyClicks(v.CmbSearch[0], QStringLiteral("torn"));
        descripcion = v.ListView1->SelectedItem().Text();
        v.ListView1->setFocus();
        QTest::keyClick(v.ListView1, Qt::Key_Insert);
        QTest::keyClick(v.ListView1, Qt::Key_Return);
    });
    consulta.ConsultaSearch(QStringLiteral("v_ma_articulos"), campos, clave, busqueda);
    EXPECT_TRUE(descripcion.startsWith(QStringLiteral("Tornillo"))) << descripcion.toStdString();
    EXPECT_EQ(busqueda, QStringLiteral("DESCRIPCION"));
    EXPECT_EQ(consulta.ValorDevuelto, Variant(descripcion));
    ASSERT_TRUE(consulta.Valores);
    ASSERT_EQ(consulta.Valores->Count(), 1);
    EXPECT_TRUE(consulta.Valores->Item(1).Texto().startsWith(u'A'));
    ASSERT_TRUE(consulta.Cantidades);
    EXPECT_EQ(consulta.Cantidades->Item(1).Texto(), QStringLiteral("1.0"));
    EXPECT_FALSE(campos);
    EXPECT_EQ(delLlamador->Count(), 0);
    EXPECT_FALSE(consulta.Checks);
    EXPECT_EQ(consulta.CampoDevuelto, QString());
    EXPECT_TRUE(consulta.UsaCantidades);
    // The window went with the lookup.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<Lib_FrmCons2*>(w), nullptr);
}

TEST_F(LookupCompleto, CancelledNothingComesBack) {
    consulta.Checks = true;
    clave = QStringLiteral("Cable");
    QString primeraCaja;
    AlMostrarse([&](Lib_FrmCons2& v) {
        primeraCaja = v.CmbSearch[0]->currentText();
        QTest::keyClick(v.ListView1, Qt::Key_Escape);
    });
    consulta.ConsultaSearch(QStringLiteral("V_MA_ARTICULOS"), campos, clave, busqueda);
    EXPECT_EQ(primeraCaja, QStringLiteral("Cable"));
    EXPECT_EQ(consulta.ValorDevuelto, Variant(QString()));
    EXPECT_FALSE(consulta.Valores);
    ASSERT_TRUE(consulta.Cantidades);
    EXPECT_EQ(consulta.Cantidades->Count(), 0);
    EXPECT_FALSE(campos);
    EXPECT_EQ(delLlamador->Count(), 0);
    EXPECT_FALSE(consulta.Checks);
}

TEST(SesionConMascaras, TheFirstStartWritesTheMasksFileAndLaterStartsLeaveIt) {
    Pruebas::CarpetaPrueba carpeta;
    Pruebas::NuevoGuion();
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    ModGlobal::IniciarSesion();
    const QString ruta = carpeta.Archivo(QStringLiteral("consultas.zvr"));
    EXPECT_EQ(QFile(ruta).size(), 4808);
    EXPECT_EQ(ModGlobal::gConsulta().gRutaMascaraConsultas, ruta);
    EXPECT_TRUE(ModGlobal::gConsulta().gUsarMascarasConsultas);
    EXPECT_TRUE(ModGlobal::gConsulta().gConnString.contains(QStringLiteral("remitos.db")));
    {
        QFile f(ruta);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("propio");
    }
    Conexion::Instancia().Desconectar();
    ModGlobal::IniciarSesion();
    EXPECT_EQ(Leer(ruta), QByteArray("propio"));
}

TEST(SesionConMascaras, AMasksFileThatCannotBeWrittenEndsTheSessionStartSilently) {
    Pruebas::CarpetaPrueba carpeta;
    auto& guion = Pruebas::NuevoGuion();
    Pruebas::CrearBaseSqlite(carpeta, Conexion::ArchivoPorDefecto());
    // A link to a folder that does not exist: the file is missing and cannot be created.
    ASSERT_TRUE(QFile::link(carpeta.Archivo(QStringLiteral("no/hay/nada")),
                            carpeta.Archivo(QStringLiteral("consultas.zvr"))));
    ModGlobal::IniciarSesion();
    EXPECT_TRUE(Conexion::Instancia().Conectada());
    // The configuration stage never ran: the colours keep their start values.
    EXPECT_EQ(ModGlobal::sesion.gColorFondo, 0xFFFFFF);
    EXPECT_TRUE(guion.errores.isEmpty());
    EXPECT_TRUE(guion.mensajes.isEmpty());
}

} // namespace
