#include "BaseEmbebida.h"

#include "Conexion.h"
#include "Falla.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <random>

namespace {

const QString Comilla = QStringLiteral("'");
const QString Numero = QStringLiteral("@");

// Deterministic choices, so that the same seed always gives the same database.
class Azar {
public:
    explicit Azar(quint32 semilla) : motor_(semilla) {}
    int Entre(int desde, int hasta) {
        return std::uniform_int_distribution<int>(desde, hasta)(motor_);
    }
    bool Probabilidad(double p) { return std::uniform_real_distribution<double>(0, 1)(motor_) < p; }
    template <class T, size_t N>
    const T& De(const T (&lista)[N]) {
        return lista[size_t(Entre(0, int(N) - 1))];
    }

private:
    std::mt19937 motor_;
};

const char* const Apellidos[] = {"García",   "Fernández", "González", "Rodríguez", "López",
                                 "Martínez", "Pérez",     "Gómez",    "Sánchez",   "Romero",
                                 "Díaz",     "Álvarez",   "Torres",   "Ruiz",      "Ramírez",
                                 "Flores",   "Acosta",    "Benítez",  "Medina",    "Herrera",
                                 "Suárez",   "Aguirre",   "Giménez",  "Molina",    "Castro",
                                 "Ortiz",    "Silva",     "Núñez",    "Luna",      "Juárez"};
const char* const Nombres[] = {"Ana",    "Juan",   "María", "Carlos",  "Laura",  "Jorge",
                               "Lucía",  "Pedro",  "Sofía", "Martín",  "Paula",  "Diego",
                               "Elena",  "Pablo",  "Marta", "Ricardo", "Silvia", "Andrés",
                               "Rosa",   "Miguel", "Inés",  "Héctor",  "Julia",  "Ramón"};
const char* const Rubros[] = {"Ferretería", "Distribuidora", "Comercial", "Materiales",
                              "Almacén",    "Maderera",      "Corralón",  "Pinturería",
                              "Electricidad", "Sanitarios"};
const char* const Sociedades[] = {"S.A.", "S.R.L.", "S.A.S.", "e Hijos", "Hnos."};
const char* const Calles[] = {"Av. San Martín", "Belgrano",  "Rivadavia", "Mitre",
                              "Sarmiento",      "Moreno",    "9 de Julio", "Urquiza",
                              "Av. Libertador", "Pellegrini", "Colón",    "Alsina"};
const char* const Localidades[] = {"Rosario", "Córdoba", "Mendoza", "La Plata", "Tandil",
                                   "Rafaela", "Paraná",  "Salta",   "Neuquén",  "Junín",
                                   "Pergamino", "Venado Tuerto"};

struct Articulo {
    QString codigo;
    QString descripcion;
    QString unidad;
    int costoCentavos;
    int precioCentavos;
};

const char* const Productos[] = {"Tornillo autorroscante", "Clavo punta París", "Bulón",
                                 "Arandela plana",        "Tarugo de nylon",   "Pintura látex",
                                 "Esmalte sintético",     "Cemento portland",  "Cal hidratada",
                                 "Arena fina",            "Caño PVC",          "Codo PVC",
                                 "Cable unipolar",        "Llave de luz",      "Lámpara LED",
                                 "Cinta aisladora",       "Silicona",          "Lija al agua",
                                 "Pincel",                "Rodillo",           "Guantes de trabajo",
                                 "Alambre galvanizado",   "Malla sima",        "Membrana líquida"};
const char* const Medidas[] = {"8x40", "6x30", "10x60", "1/2\"", "3/4\"", "4 L", "1 L",
                               "25 kg", "50 kg", "2,5 mm", "1,5 mm", "40 mm", "110 mm", "12 W",
                               "N° 2", "N° 10", "20 m", "grande", "mediano", "chico"};
const char* const Unidades[] = {"UN", "UN", "UN", "KG", "LT", "MT", "CJ"};

QString Cuit(Azar& azar) {
    return QStringLiteral("%1%2%3")
        .arg(azar.De({20, 23, 27, 30, 33}))
        .arg(azar.Entre(10000000, 39999999))
        .arg(azar.Entre(0, 9));
}

QString Telefono(Azar& azar) {
    return QStringLiteral("(0%1) %2-%3")
        .arg(azar.Entre(221, 3894))
        .arg(azar.Entre(400, 499))
        .arg(azar.Entre(1000, 9999));
}

QString Domicilio(Azar& azar) {
    return QStringLiteral("%1 %2").arg(QString::fromUtf8(azar.De(Calles))).arg(azar.Entre(1, 4800));
}

QString PersonaAlAzar(Azar& azar) {
    return QString::fromUtf8(azar.De(Nombres)) + u' ' + QString::fromUtf8(azar.De(Apellidos));
}

QString Importe(qint64 centavos) {
    const bool negativo = centavos < 0;
    if (negativo)
        centavos = -centavos;
    return QStringLiteral("%1%2.%3")
        .arg(negativo ? QStringLiteral("-") : QString())
        .arg(centavos / 100)
        .arg(centavos % 100, 2, 10, QLatin1Char('0'));
}

class Escritor {
public:
    explicit Escritor(Conexion& c) : c_(c) {}
    QString T(const Variant& v) const { return c_.ValorSQL(v, Comilla); }
    QString N(const Variant& v) const { return c_.ValorSQL(v, Numero); }
    void Insertar(const QString& tabla, const QString& columnas, const QStringList& valores) {
        c_.Ejecutar(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(tabla, columnas, valores.join(u',')));
    }

private:
    Conexion& c_;
};

} // namespace

QString BaseEmbebida::Esquema(const QString& motor) {
    QFile archivo(QStringLiteral(":/sql/esquema-%1.sql").arg(motor));
    if (!archivo.open(QIODevice::ReadOnly))
        throw Falla::Archivo(Errores::ArchivoNoEncontrado, archivo.fileName());
    return QString::fromUtf8(archivo.readAll());
}

QStringList BaseEmbebida::Sentencias(const QString& script) {
    QStringList sentencias;
    QString actual;
    QChar comilla;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script[i];
        if (!comilla.isNull()) {
            actual += c;
            if (c == comilla)
                comilla = QChar();
            continue;
        }
        if (c == u'-' && i + 1 < script.size() && script[i + 1] == u'-') {
            while (i < script.size() && script[i] != u'\n')
                ++i;
            actual += u'\n';
            continue;
        }
        if (c == u'\'' || c == u'"') {
            comilla = c;
            actual += c;
        } else if (c == u';') {
            if (!actual.trimmed().isEmpty())
                sentencias << actual.trimmed();
            actual.clear();
        } else {
            actual += c;
        }
    }
    if (!actual.trimmed().isEmpty())
        sentencias << actual.trimmed();
    return sentencias;
}

void BaseEmbebida::CrearEsquema(Conexion& conexion) {
    const QString motor = conexion.DialectoSQL() == Dialecto::Embebido
                              ? QStringLiteral("sqlite")
                              : QStringLiteral("postgresql");
    for (const QString& sentencia : Sentencias(Esquema(motor)))
        conexion.Ejecutar(sentencia);
}

BaseEmbebida::Resumen BaseEmbebida::Crear(const QString& ruta, int notas, quint32 semilla) {
    const QString absoluta = QFileInfo(ruta).absoluteFilePath();
    if (QFileInfo::exists(absoluta))
        throw Falla::Archivo(Errores::AccesoDenegado,
                             absoluta + QStringLiteral(" ya existe; no se sobrescribe"));
    {
        const QString nombre = QStringLiteral("remitos-creacion");
        {
            QSqlDatabase nueva = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
            nueva.setDatabaseName(absoluta);
            bool ok = nueva.open();
            QString error = nueva.lastError().databaseText();
            if (ok) {
                QSqlQuery q(nueva);
                ok = q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
                if (!ok)
                    error = q.lastError().databaseText();
            }
            nueva.close();
            if (!ok) {
                QSqlDatabase::removeDatabase(nombre);
                QFile::remove(absoluta);
                throw Falla::BaseDeDatos(
                    QStringLiteral("No se puede crear %1: %2").arg(absoluta, error));
            }
        }
        QSqlDatabase::removeDatabase(nombre);
    }

    Resumen resumen;
    try {
        Conexion conexion;
        conexion.BaseDatos = absoluta;
        conexion.Conectar(true, 3);
        if (!conexion.Conectada())
            throw Falla::Conexion(conexion.UltimoError());
        CrearEsquema(conexion);
        if (notas > 0)
            resumen = CargarDemostracion(conexion, notas, semilla);
        // Everything into the database file itself, so that it can be copied alone. Nothing is
        // lost when the engine cannot do it now.
        try {
            conexion.Ejecutar(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        } catch (const Falla&) {
        }
    } catch (...) {
        for (const char* resto : {"", "-wal", "-shm"})
            QFile::remove(absoluta + QLatin1String(resto));
        throw;
    }
    return resumen;
}

BaseEmbebida::Resumen BaseEmbebida::CargarDemostracion(Conexion& conexion, int notas,
                                                       quint32 semilla) {
    Azar azar(semilla);
    Escritor w(conexion);
    Resumen resumen;
    conexion.BeginTrans();
    try {
        // Articles.
        QList<Articulo> articulos;
        for (int i = 1; i <= 240; ++i) {
            Articulo a;
            a.codigo = QStringLiteral("A%1").arg(i, 5, 10, QLatin1Char('0'));
            a.descripcion = QString::fromUtf8(azar.De(Productos)) + u' ' +
                            QString::fromUtf8(azar.De(Medidas));
            a.unidad = QString::fromUtf8(azar.De(Unidades));
            a.costoCentavos = azar.Entre(50, 250000);
            a.precioCentavos = a.costoCentavos + a.costoCentavos * azar.Entre(15, 80) / 100;
            articulos << a;
            w.Insertar(QStringLiteral("V_MA_ARTICULOS"),
                       QStringLiteral("IDARTICULO,DESCRIPCION,IDUNIDAD,COSTO,PRECIO,SUSPENDIDO"),
                       {w.T(a.codigo), w.T(a.descripcion), w.T(a.unidad),
                        w.N(Variant::Decimal(Importe(a.costoCentavos))),
                        w.N(Variant::Decimal(Importe(a.precioCentavos))),
                        w.N(azar.Probabilidad(0.05) ? 1 : 0)});
        }

        // Customers and suppliers.
        QStringList cuentas;
        auto terceros = [&](const QString& tabla, const QString& prefijo, int cuantos,
                            QStringList* codigos) {
            for (int i = 1; i <= cuantos; ++i) {
                const QString codigo = QStringLiteral("%1%2").arg(prefijo).arg(i, 5, 10, QLatin1Char('0'));
                const QString razon = QString::fromUtf8(azar.De(Rubros)) + u' ' +
                                      QString::fromUtf8(azar.De(Apellidos)) + u' ' +
                                      QString::fromUtf8(azar.De(Sociedades));
                if (codigos)
                    *codigos << codigo;
                w.Insertar(tabla,
                           QStringLiteral("CODIGO,RAZON_SOCIAL,CONTACTO,DOMICILIO,LOCALIDAD,"
                                          "TELEFONO,CUIT,Dada_De_Baja"),
                           {w.T(codigo), w.T(razon), w.T(PersonaAlAzar(azar)),
                            w.T(Domicilio(azar)), w.T(QString::fromUtf8(azar.De(Localidades))),
                            w.T(Telefono(azar)), w.T(Cuit(azar)),
                            w.N(azar.Probabilidad(0.06) ? 1 : 0)});
            }
        };
        terceros(QStringLiteral("VT_CLIENTES"), QStringLiteral("C"), 150, &cuentas);
        terceros(QStringLiteral("VT_PROVEEDORES"), QStringLiteral("P"), 40, nullptr);

        for (int i = 1; i <= 80; ++i) {
            const QString persona = PersonaAlAzar(azar);
            QString correo = persona.toLower();
            correo.replace(u' ', u'.');
            w.Insertar(QStringLiteral("MA_CONTACTOS"),
                       QStringLiteral("IDCONTACTO,Nombre_y_Apellido,Domicilio,Localidad,Telefono,Email"),
                       {w.N(i), w.T(persona), w.T(Domicilio(azar)),
                        w.T(QString::fromUtf8(azar.De(Localidades))), w.T(Telefono(azar)),
                        w.T(correo + QStringLiteral("@correo.example"))});
        }

        for (const auto& [clave, valor] :
             {std::pair{"CantidadDecimales", "2"}, std::pair{"MostrarStockenConsultas", "SI"},
              std::pair{"UsaConsultaLike", "NO"}, std::pair{"TituloClientes", "Clientes"},
              std::pair{"TituloProveedores", "Proveedores"}})
            w.Insertar(QStringLiteral("TA_CONFIGURACION"), QStringLiteral("GRUPO,CLAVE,VALOR"),
                       {w.T(QStringLiteral("DATOS")), w.T(QString::fromLatin1(clave)),
                        w.T(QString::fromLatin1(valor))});

        // Documents: delivery notes, and one invoice for every ten of them.
        const QDate corte(2003, 3, 1);
        const QDate primera(2003, 3, 2);
        const int diasDespues = int(primera.daysTo(QDate(2026, 11, 30)));
        const int invoices = notas / 10;
        const QString columnasCpte =
            QStringLiteral("TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,CUENTA,RAZONSOCIAL,IMPORTE,ANULADA,OBSERVACIONES");
        const QString columnasRenglon = QStringLiteral(
            "TC,IDCOMPROBANTE,IDCOMPLEMENTO,RENGLON,IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,IMPORTE,CLASEPRECIO");
        const QString columnasStock = QStringLiteral(
            "TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,PRECIOVENTA,CLASEPRECIO,IDDEPOSITO,IDMOTIVOSTOCK,CUENTAPROVEEDOR");

        int numero = 0;
        bool anteriorEnStock = false;
        int complementoAnterior = 0;
        for (int i = 0; i < notas + invoices; ++i) {
            const bool remito = i < notas;
            const QString tc = remito ? QStringLiteral("RM") : QStringLiteral("FA");
            int complemento = 0;
            // Now and then a note shares its number with the one before, under another
            // complement (never with one registered already: its rows would then cover only
            // its own lines, not all the lines of the number as a run writes them).
            if (remito && i > 0 && complementoAnterior == 0 && !anteriorEnStock &&
                azar.Probabilidad(0.01))
                complemento = 1;
            else
                ++numero;
            complementoAnterior = complemento;
            const QString id = QStringLiteral("%1%2%3")
                                   .arg(remito ? QChar(u'R') : QChar(u'A'))
                                   .arg(remito ? 1 : 2, 4, 10, QLatin1Char('0'))
                                   .arg(numero, 8, 10, QLatin1Char('0'));

            QDateTime fecha;
            const double tipoFecha = azar.Entre(0, 999) / 1000.0;
            if (tipoFecha < 0.05)
                fecha = QDateTime(corte.addDays(-azar.Entre(1, 420)), QTime(0, 0), Qt::UTC);
            else if (tipoFecha < 0.06)
                fecha = QDateTime(corte, azar.Probabilidad(0.5) ? QTime(0, 0)
                                                                 : QTime(azar.Entre(8, 19), azar.Entre(0, 59)),
                                  Qt::UTC);
            else
                fecha = QDateTime(primera.addDays(azar.Entre(0, diasDespues)),
                                  azar.Probabilidad(0.3) ? QTime(azar.Entre(8, 19), azar.Entre(0, 59))
                                                         : QTime(0, 0),
                                  Qt::UTC);
            const bool anulada = azar.Probabilidad(0.03);
            const bool enStock = remito && complemento == 0 && azar.Probabilidad(0.08);
            anteriorEnStock = enStock;
            const QString cuenta = cuentas[azar.Entre(0, int(cuentas.size()) - 1)];

            const int lineas = azar.Entre(1, 9);
            qint64 total = 0;
            QList<QStringList> filasStock;
            for (int r = 1; r <= lineas; ++r) {
                const Articulo& a = articulos[azar.Entre(0, int(articulos.size()) - 1)];
                const bool fraccionada = a.unidad == QLatin1String("KG") ||
                                         a.unidad == QLatin1String("MT") ||
                                         a.unidad == QLatin1String("LT");
                const int cantidadMilesimos =
                    fraccionada ? azar.Entre(250, 60000) : azar.Entre(1, 48) * 1000;
                const qint64 importe = qint64(a.precioCentavos) * cantidadMilesimos / 1000;
                total += importe;
                const QString cantidad = QStringLiteral("%1.%2")
                                             .arg(cantidadMilesimos / 1000)
                                             .arg(cantidadMilesimos % 1000, 3, 10, QLatin1Char('0'));
                const int clase = azar.Entre(1, 3);
                w.Insertar(QStringLiteral("V_Mv_CpteInsumos"), columnasRenglon,
                           {w.T(tc), w.T(id), w.N(complemento), w.N(r), w.T(a.codigo),
                            w.T(a.descripcion), w.T(a.unidad), w.N(Variant::Decimal(cantidad)),
                            w.N(Variant::Decimal(Importe(a.costoCentavos))),
                            w.N(Variant::Decimal(Importe(importe))), w.N(clase)});
                if (enStock)
                    filasStock << QStringList{w.T(tc), w.T(id), w.N(complemento), w.N(r),
                                              w.T(Variant(fecha)), w.T(a.codigo),
                                              w.T(a.descripcion), w.T(a.unidad),
                                              w.N(Variant::Decimal(cantidad).Negado()),
                                              w.N(Variant::Decimal(Importe(a.costoCentavos))),
                                              w.N(Variant::Decimal(Importe(importe))), w.N(clase),
                                              w.T(QStringLiteral("   1")), w.T(QStringLiteral("   1")),
                                              w.T(cuenta)};
            }
            w.Insertar(QStringLiteral("V_MV_Cpte"), columnasCpte,
                       {w.T(tc), w.T(id), w.N(complemento), w.T(Variant(fecha)), w.T(cuenta),
                        w.T(QString()), w.N(Variant::Decimal(Importe(total))),
                        w.N(anulada ? 1 : 0),
                        w.T(anulada ? QStringLiteral("Anulado a pedido del cliente") : QString())});
            for (const QStringList& fila : filasStock)
                w.Insertar(QStringLiteral("V_MV_Stock"), columnasStock, fila);

            if (remito) {
                ++resumen.notas;
                resumen.renglones += lineas;
                const bool despuesDelCorte =
                    fecha.date() > corte || (fecha.date() == corte && fecha.time() != QTime(0, 0));
                if (despuesDelCorte && !anulada && !enStock)
                    ++resumen.pendientes;
            }
        }
        conexion.CommitTrans();
    } catch (...) {
        try {
            conexion.RollbackTrans();
        } catch (const Falla&) {
        }
        throw;
    }
    return resumen;
}
