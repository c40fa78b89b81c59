#include "Registration.h"

namespace vz::twospeed {

namespace {

bool isHyphen(char16_t c) {
    // U+2010..U+2015 are the hyphens and dashes, U+2212 the minus sign.
    return c == u'-' || (c >= 0x2010 && c <= 0x2015) || c == 0x2212;
}

char16_t cyrillicLookAlike(char16_t c) {
    switch (c) {
    case u'A':
        return u'А';
    case u'B':
        return u'В';
    case u'E':
        return u'Е';
    case u'K':
        return u'К';
    case u'M':
        return u'М';
    case u'H':
        return u'Н';
    case u'O':
        return u'О';
    case u'P':
        return u'Р';
    case u'C':
        return u'С';
    case u'T':
        return u'Т';
    case u'Y':
        return u'У';
    case u'X':
        return u'Х';
    default:
        return c;
    }
}

} // namespace

QString normaliseRegistration(const QString& registration) {
    QString out;
    out.reserve(registration.size());
    for (const QChar c : registration.toUpper()) {
        if (c.isSpace() || isHyphen(c.unicode()))
            continue;
        out += QChar(cyrillicLookAlike(c.unicode()));
    }
    return out;
}

} // namespace vz::twospeed
