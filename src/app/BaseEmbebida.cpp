#include "BaseEmbebida.h"

#include "Conexion.h"
#include "Falla.h"
#include "Recordset.h"
#include "Transaccion.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
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

// The demo data, drawn from one seed in a fixed order, so that a seed always gives the same
// database.
class Demostracion {
public:
    Demostracion(Conexion& conexion, quint32 semilla) : w_(conexion), azar_(semilla) {}

    void Articulos();
    // Customers (whose codes the notes take as accounts) or suppliers.
    void Terceros(const QString& tabla, const QString& prefijo, int cuantos, bool sonCuentas);
    void Contactos();
    void Configuracion();
    // Delivery notes, and one invoice for every ten of them: some voided, some dated before
    // the cutoff, some already in stock, now and then two sharing a number.
    BaseEmbebida::Resumen Documentos(int notas);

private:
    struct Documento {
        bool remito = false;
        QString tc, id;
        int complemento = 0;
        QDateTime fecha;
        bool anulada = false;
        bool enStock = false;
        QString cuenta;
    };
    QDateTime Fecha();
    // The document's lines (and its stock rows when it is in stock already); gives its total.
    qint64 Renglones(const Documento& d, int lineas);
    void Cabecera(const Documento& d, qint64 total);

    Escritor w_;
    Azar azar_;
    QList<Articulo> articulos_;
    QStringList cuentas_;
    QList<QStringList> filasStock_;
};

const QDate Corte(2003, 3, 1);

void Demostracion::Articulos() {
    for (int i = 1; i <= 240; ++i) {
        Articulo a;
        a.codigo = QStringLiteral("A%1").arg(i, 5, 10, QLatin1Char('0'));
        a.descripcion = QString::fromUtf8(azar_.De(Productos)) + u' ' +
                        QString::fromUtf8(azar_.De(Medidas));
        a.unidad = QString::fromUtf8(azar_.De(Unidades));
        a.costoCentavos = azar_.Entre(50, 250000);
        a.precioCentavos = a.costoCentavos + a.costoCentavos * azar_.Entre(15, 80) / 100;
        articulos_ << a;
        w_.Insertar(QStringLiteral("V_MA_ARTICULOS"),
                    QStringLiteral("IDARTICULO,DESCRIPCION,IDUNIDAD,COSTO,PRECIO,SUSPENDIDO"),
                    {w_.T(a.codigo), w_.T(a.descripcion), w_.T(a.unidad),
                     w_.N(Variant::Decimal(Importe(a.costoCentavos))),
                     w_.N(Variant::Decimal(Importe(a.precioCentavos))),
                     w_.N(azar_.Probabilidad(0.05) ? 1 : 0)});
    }
}

void Demostracion::Terceros(const QString& tabla, const QString& prefijo, int cuantos,
                            bool sonCuentas) {
    for (int i = 1; i <= cuantos; ++i) {
        const QString codigo = QStringLiteral("%1%2").arg(prefijo).arg(i, 5, 10, QLatin1Char('0'));
        const QString razon = QString::fromUtf8(azar_.De(Rubros)) + u' ' +
                              QString::fromUtf8(azar_.De(Apellidos)) + u' ' +
                              QString::fromUtf8(azar_.De(Sociedades));
        if (sonCuentas)
            cuentas_ << codigo;
        w_.Insertar(tabla,
                    QStringLiteral("CODIGO,RAZON_SOCIAL,CONTACTO,DOMICILIO,LOCALIDAD,TELEFONO,"
                                   "CUIT,Dada_De_Baja"),
                    {w_.T(codigo), w_.T(razon), w_.T(PersonaAlAzar(azar_)),
                     w_.T(Domicilio(azar_)), w_.T(QString::fromUtf8(azar_.De(Localidades))),
                     w_.T(Telefono(azar_)), w_.T(Cuit(azar_)), w_.N(azar_.Probabilidad(0.06) ? 1 : 0)});
    }
}

void Demostracion::Contactos() {
    for (int i = 1; i <= 80; ++i) {
        const QString persona = PersonaAlAzar(azar_);
        QString correo = persona.toLower();
        correo.replace(u' ', u'.');
        w_.Insertar(QStringLiteral("MA_CONTACTOS"),
                    QStringLiteral("IDCONTACTO,Nombre_y_Apellido,Domicilio,Localidad,Telefono,Email"),
                    {w_.N(i), w_.T(persona), w_.T(Domicilio(azar_)),
                     w_.T(QString::fromUtf8(azar_.De(Localidades))), w_.T(Telefono(azar_)),
                     w_.T(correo + QStringLiteral("@correo.example"))});
    }
}

void Demostracion::Configuracion() {
    for (const auto& [clave, valor] :
         {std::pair{"CantidadDecimales", "2"}, std::pair{"MostrarStockenConsultas", "SI"},
          std::pair{"UsaConsultaLike", "NO"}, std::pair{"TituloClientes", "Clientes"},
          std::pair{"TituloProveedores", "Proveedores"}})
        w_.Insertar(QStringLiteral("TA_CONFIGURACION"), QStringLiteral("GRUPO,CLAVE,VALOR"),
                    {w_.T(QStringLiteral("DATOS")), w_.T(QString::fromLatin1(clave)),
                     w_.T(QString::fromLatin1(valor))});
}

QDateTime Demostracion::Fecha() {
    const QDate primera(2003, 3, 2);
    const double tipoFecha = azar_.Entre(0, 999) / 1000.0;
    if (tipoFecha < 0.05)
        return QDateTime(Corte.addDays(-azar_.Entre(1, 420)), QTime(0, 0), Qt::UTC);
    if (tipoFecha < 0.06)
        return QDateTime(Corte,
                         azar_.Probabilidad(0.5) ? QTime(0, 0) : QTime(azar_.Entre(8, 19), azar_.Entre(0, 59)),
                         Qt::UTC);
    const int diasDespues = int(primera.daysTo(QDate(2026, 11, 30)));
    return QDateTime(primera.addDays(azar_.Entre(0, diasDespues)),
                     azar_.Probabilidad(0.3) ? QTime(azar_.Entre(8, 19), azar_.Entre(0, 59)) : QTime(0, 0),
                     Qt::UTC);
}

qint64 Demostracion::Renglones(const Documento& d, int lineas) {
    const QString columnas = QStringLiteral(
        "TC,IDCOMPROBANTE,IDCOMPLEMENTO,RENGLON,IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,COSTO,"
        "IMPORTE,CLASEPRECIO");
    qint64 total = 0;
    filasStock_.clear();
    for (int r = 1; r <= lineas; ++r) {
        const Articulo& a = articulos_[azar_.Entre(0, int(articulos_.size()) - 1)];
        const bool fraccionada = a.unidad == QLatin1String("KG") ||
                                 a.unidad == QLatin1String("MT") || a.unidad == QLatin1String("LT");
        const int milesimos = fraccionada ? azar_.Entre(250, 60000) : azar_.Entre(1, 48) * 1000;
        const qint64 importe = qint64(a.precioCentavos) * milesimos / 1000;
        total += importe;
        const QString cantidad = QStringLiteral("%1.%2").arg(milesimos / 1000).arg(
            milesimos % 1000, 3, 10, QLatin1Char('0'));
        const int clase = azar_.Entre(1, 3);
        const QString costo = w_.N(Variant::Decimal(Importe(a.costoCentavos)));
        const QString precio = w_.N(Variant::Decimal(Importe(importe)));
        w_.Insertar(QStringLiteral("V_Mv_CpteInsumos"), columnas,
                    {w_.T(d.tc), w_.T(d.id), w_.N(d.complemento), w_.N(r), w_.T(a.codigo),
                     w_.T(a.descripcion), w_.T(a.unidad), w_.N(Variant::Decimal(cantidad)), costo,
                     precio, w_.N(clase)});
        if (d.enStock)
            filasStock_ << QStringList{w_.T(d.tc), w_.T(d.id), w_.N(d.complemento), w_.N(r),
                                       w_.T(Variant(d.fecha)), w_.T(a.codigo), w_.T(a.descripcion),
                                       w_.T(a.unidad), w_.N(Variant::Decimal(cantidad).Negado()),
                                       costo, precio, w_.N(clase), w_.T(QStringLiteral("   1")),
                                       w_.T(QStringLiteral("   1")), w_.T(d.cuenta)};
    }
    return total;
}

void Demostracion::Cabecera(const Documento& d, qint64 total) {
    w_.Insertar(QStringLiteral("V_MV_Cpte"),
                QStringLiteral("TC,IDCOMPROBANTE,IDCOMPLEMENTO,FECHA,CUENTA,RAZONSOCIAL,IMPORTE,"
                               "ANULADA,OBSERVACIONES"),
                {w_.T(d.tc), w_.T(d.id), w_.N(d.complemento), w_.T(Variant(d.fecha)),
                 w_.T(d.cuenta), w_.T(QString()), w_.N(Variant::Decimal(Importe(total))),
                 w_.N(d.anulada ? 1 : 0),
                 w_.T(d.anulada ? QStringLiteral("Anulado a pedido del cliente") : QString())});
    const QString columnasStock = QStringLiteral(
        "TC,IDCOMPROBANTE,IDCOMPLEMENTO,SECUENCIA,FECHA,IDARTICULO,DESCRIPCION,IDUNIDAD,CANTIDAD,"
        "COSTO,PRECIOVENTA,CLASEPRECIO,IDDEPOSITO,IDMOTIVOSTOCK,CUENTAPROVEEDOR");
    for (const QStringList& fila : filasStock_)
        w_.Insertar(QStringLiteral("V_MV_Stock"), columnasStock, fila);
}

BaseEmbebida::Resumen Demostracion::Documentos(int notas) {
    BaseEmbebida::Resumen resumen;
    int numero = 0;
    bool anteriorEnStock = false;
    int complementoAnterior = 0;
    for (int i = 0; i < notas + notas / 10; ++i) {
        Documento d;
        d.remito = i < notas;
        d.tc = d.remito ? QStringLiteral("RM") : QStringLiteral("FA");
        // Now and then a note shares its number with the one before, under another complement
        // (never with one registered already: its rows would then cover only its own lines,
        // not all the lines of the number as a run writes them).
        if (d.remito && i > 0 && complementoAnterior == 0 && !anteriorEnStock &&
            azar_.Probabilidad(0.01))
            d.complemento = 1;
        else
            ++numero;
        complementoAnterior = d.complemento;
        d.id = QStringLiteral("%1%2%3")
                   .arg(d.remito ? QChar(u'R') : QChar(u'A'))
                   .arg(d.remito ? 1 : 2, 4, 10, QLatin1Char('0'))
                   .arg(numero, 8, 10, QLatin1Char('0'));
        d.fecha = Fecha();
        d.anulada = azar_.Probabilidad(0.03);
        d.enStock = d.remito && d.complemento == 0 && azar_.Probabilidad(0.08);
        anteriorEnStock = d.enStock;
        d.cuenta = cuentas_[azar_.Entre(0, int(cuentas_.size()) - 1)];
        const int lineas = azar_.Entre(1, 9);
        Cabecera(d, Renglones(d, lineas));
        if (!d.remito)
            continue;
        ++resumen.notas;
        resumen.renglones += lineas;
        const bool despuesDelCorte =
            d.fecha.date() > Corte || (d.fecha.date() == Corte && d.fecha.time() != QTime(0, 0));
        if (despuesDelCorte && !d.anulada && !d.enStock)
            ++resumen.pendientes;
    }
    return resumen;
}

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

QStringList BaseEmbebida::CrearTablasQueFaltan(Conexion& conexion) {
    static const QRegularExpression tabla(QStringLiteral(R"(^\s*CREATE\s+TABLE\s+(\w+))"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression indice(QStringLiteral(R"(^\s*CREATE\s+INDEX\s+\w+\s+ON\s+(\w+))"),
                                           QRegularExpression::CaseInsensitiveOption);
    auto existe = [&](const QString& nombre) {
        try {
            RefRecordset rs;
            conexion.AbrirRecordset(QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(nombre), rs);
            return true;
        } catch (const Falla&) {
            return false;
        }
    };
    const QString motor = conexion.DialectoSQL() == Dialecto::Embebido ? QStringLiteral("sqlite")
                                                                        : QStringLiteral("postgresql");
    QStringList creadas;
    for (const QString& sentencia : Sentencias(Esquema(motor))) {
        if (const auto m = tabla.match(sentencia); m.hasMatch()) {
            if (existe(m.captured(1)))
                continue;
            conexion.Ejecutar(sentencia);
            creadas << m.captured(1);
        } else if (const auto i = indice.match(sentencia); i.hasMatch()) {
            if (creadas.contains(i.captured(1), Qt::CaseInsensitive))
                conexion.Ejecutar(sentencia);
        } else {
            conexion.Ejecutar(sentencia);
        }
    }
    return creadas;
}

BaseEmbebida::Resumen BaseEmbebida::CargarDemostracionEnBaseVacia(Conexion& conexion, int notas) {
    RefRecordset rs;
    conexion.AbrirRecordset(QStringLiteral("SELECT count(*) FROM V_MV_Cpte"), rs);
    if (rs->Fields(0).Value().Entero() > 0)
        throw Falla::ArgumentoNoValido(
            QStringLiteral("la base %1 ya tiene comprobantes: los de demostración se agregan sólo "
                           "a una base vacía").arg(conexion.BaseDatos));
    return CargarDemostracion(conexion, notas);
}

BaseEmbebida::Resumen BaseEmbebida::Crear(const QString& ruta, int notas, quint32 semilla) {
    const QString absoluta = QFileInfo(ruta).absoluteFilePath();
    if (QFileInfo::exists(absoluta))
        throw Falla::Archivo(Errores::AccesoDenegado,
                             absoluta + QStringLiteral(" ya existe; no se sobrescribe"));
    {
        const QString nombre = QStringLiteral("remitos-creacion");
        bool ok = false;
        QString error;
        {
            QSqlDatabase nueva = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
            nueva.setDatabaseName(absoluta);
            ok = nueva.open();
            error = nueva.lastError().databaseText();
            if (ok) {
                QSqlQuery q(nueva);
                ok = q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
                if (!ok)
                    error = q.lastError().databaseText();
            }
            nueva.close();
        }
        // Only once no handle to the connection is left, or Qt warns that it is still in use.
        QSqlDatabase::removeDatabase(nombre);
        if (!ok) {
            QFile::remove(absoluta);
            throw Falla::BaseDeDatos(QStringLiteral("No se puede crear %1: %2").arg(absoluta, error));
        }
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
    Transaccion transaccion(conexion);
    Demostracion demostracion(conexion, semilla);
    demostracion.Articulos();
    demostracion.Terceros(QStringLiteral("VT_CLIENTES"), QStringLiteral("C"), 150, true);
    demostracion.Terceros(QStringLiteral("VT_PROVEEDORES"), QStringLiteral("P"), 40, false);
    demostracion.Contactos();
    demostracion.Configuracion();
    const Resumen resumen = demostracion.Documentos(notas);
    transaccion.Confirmar();
    return resumen;
}
