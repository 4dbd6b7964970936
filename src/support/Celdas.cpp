#include "Celdas.h"

#include <QStringDecoder>
#include <cstring>

Celdas::Celda Celdas::Codificar(const Variant& valor) {
    using T = Variant::Tipo;
    Celda c;
    switch (valor.tipo()) {
    case T::Vacio:
        return c;
    case T::Nulo:
        c.clase = Clase::Nulo;
        return c;
    case T::Entero:
        c.clase = Clase::Entero;
        c.dato = valor.Entero();
        return c;
    case T::Doble: {
        c.clase = Clase::Doble;
        const double d = valor.Doble();
        std::memcpy(&c.dato, &d, sizeof d);
        return c;
    }
    case T::Booleano:
        c.clase = Clase::Booleano;
        c.dato = valor.Booleano() ? 1 : 0;
        return c;
    case T::Fecha:
        if (valor.Fecha().isValid()) {
            c.clase = Clase::Fecha;
            c.dato = valor.Fecha().toMSecsSinceEpoch();
            return c;
        }
        break;
    case T::Texto:
    case T::Decimal: {
        const QString texto = valor.Texto();
        c.clase = valor.tipo() == T::Texto ? Clase::Texto : Clase::Decimal;
        c.largo = std::uint32_t(texto.size());
        QString& bloque = BloqueDeTexto(texto.size());
        c.dato = (qint64(textos_.size() - 1) << 32) | qint64(bloque.size());
        bloque += texto;
        return c;
    }
    case T::Objeto:
        break;
    }
    c.clase = Clase::Otro;
    c.dato = qint64(otros_.size());
    otros_.push_back(valor);
    return c;
}

QString& Celdas::BloqueDeTexto(qsizetype largo) {
    if (textos_.empty() || textos_.back().size() + largo > CaracteresPorBloque) {
        textos_.emplace_back();
        textos_.back().reserve(qMax(CaracteresPorBloque, largo));
    }
    return textos_.back();
}

void Celdas::NuevaCelda(const Celda& celda) {
    if ((cantidad_ & (CeldasPorBloque - 1)) == 0) {
        bloques_.emplace_back();
        bloques_.back().reserve(size_t(CeldasPorBloque));
    }
    bloques_.back().push_back(celda);
    ++cantidad_;
}

void Celdas::AgregarTextoUtf8(const char* bytes, qsizetype cuantos) {
    if (!compactas_) {
        Agregar(Variant(QString::fromUtf8(bytes, cuantos)));
        return;
    }
    // UTF-8 never takes fewer bytes than UTF-16 takes characters.
    QString& bloque = BloqueDeTexto(cuantos);
    const qsizetype desde = bloque.size();
    bloque.resize(desde + cuantos);
    QChar* inicio = bloque.data() + desde;
    QChar* fin = inicio;
    qsizetype i = 0;
    // Most texts are plain ASCII: widened as they are.
    while (i < cuantos && static_cast<unsigned char>(bytes[i]) < 0x80)
        *fin++ = QLatin1Char(bytes[i++]);
    if (i < cuantos) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        fin = utf8.appendToBuffer(fin, QByteArrayView(bytes + i, cuantos - i));
    }
    const qsizetype largo = fin - inicio;
    bloque.resize(desde + largo);
    Celda c;
    c.clase = Clase::Texto;
    c.largo = std::uint32_t(largo);
    c.dato = (qint64(textos_.size() - 1) << 32) | qint64(desde);
    NuevaCelda(c);
}

bool Celdas::Texto(qsizetype indice, QStringView& vista) const {
    if (!compactas_) {
        const Variant& v = sinCompactar_[size_t(indice)];
        if (v.tipo() == Variant::Tipo::Nulo) {
            vista = {};
            return true;
        }
        const QString* texto = v.TextoGuardado();
        if (!texto)
            return false;
        vista = *texto;
        return true;
    }
    const Celda& c = En(indice);
    if (c.clase == Clase::Nulo) {
        vista = {};
        return true;
    }
    if (c.clase != Clase::Texto)
        return false;
    vista = QStringView(textos_[size_t(c.dato >> 32)]).mid(qsizetype(c.dato & 0xffffffff), qsizetype(c.largo));
    return true;
}

void Celdas::Agregar(const Variant& valor) {
    Agregar(Variant(valor));
}

void Celdas::Agregar(Variant&& valor) {
    if (!compactas_) {
        sinCompactar_.push_back(std::move(valor));
        ++cantidad_;
        if (cantidad_ > MaximoSinCompactar)
            Compactar();
        return;
    }
    NuevaCelda(Codificar(valor));
}

void Celdas::Compactar() {
    std::vector<Variant> valores = std::move(sinCompactar_);
    sinCompactar_ = {};
    compactas_ = true;
    cantidad_ = 0;
    for (Variant& v : valores)
        Agregar(std::move(v));
}

void Celdas::Asignar(qsizetype indice, const Variant& valor) {
    if (!compactas_)
        sinCompactar_[size_t(indice)] = valor;
    else
        En(indice) = Codificar(valor);
}

Variant Celdas::Valor(qsizetype indice) const {
    if (!compactas_)
        return sinCompactar_[size_t(indice)];
    const Celda& c = En(indice);
    switch (c.clase) {
    case Clase::Vacio:
        return {};
    case Clase::Nulo:
        return Variant::Nulo();
    case Clase::Entero:
        return Variant(c.dato);
    case Clase::Doble: {
        double d = 0;
        std::memcpy(&d, &c.dato, sizeof d);
        return Variant(d);
    }
    case Clase::Booleano:
        return Variant(c.dato != 0);
    case Clase::Fecha:
        return Variant(QDateTime::fromMSecsSinceEpoch(c.dato, Qt::UTC));
    case Clase::Texto:
    case Clase::Decimal: {
        const QString& bloque = textos_[size_t(c.dato >> 32)];
        QString texto = bloque.mid(qsizetype(c.dato & 0xffffffff), qsizetype(c.largo));
        return c.clase == Clase::Texto ? Variant(texto) : Variant::DecimalLeido(texto);
    }
    case Clase::Otro:
        return otros_[size_t(c.dato)];
    }
    return {};
}

void Celdas::Vaciar() {
    sinCompactar_.clear();
    compactas_ = false;
    bloques_.clear();
    cantidad_ = 0;
    textos_.clear();
    otros_.clear();
}

void Celdas::Ajustar() {
    sinCompactar_.shrink_to_fit();
    // Only the last blocks can have room to spare.
    if (!bloques_.empty())
        bloques_.back().shrink_to_fit();
    if (!textos_.empty())
        textos_.back().squeeze();
    otros_.shrink_to_fit();
}
