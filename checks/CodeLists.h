#pragma once

#include <QString>
#include <QStringView>

// The code lists of the rules, as data files in checks/codelists (each with its source and
// version), compiled into the program.
enum class TCodeList {
    Iso4217,
    Iso3166,
    Iso3166Cii,
    VatPrefixes,
    Untdid1001Invoice,
    Untdid1001CreditNote,
    Untdid1001Cii,
    Untdid2005,
    Untdid2475,
    Untdid1153,
    Untdid4451,
    Untdid4451Note,
    Untdid4461,
    Untdid5189,
    Untdid5305,
    Untdid7143,
    Untdid7161,
    UneceRec20And21,
    Icd,
    Eas,
    Vatex,
    Mime,
    XRechnungIcd,
    XRechnungEas,
    XRechnungUntdid7143Cvd,
};

// Whether code is on the list, exactly as written.
bool OnCodeList(TCodeList list, QStringView code);
// The list as the rules write it: its codes in order, each between blanks (" A B C ").
QString CodeListText(TCodeList list);
// How many codes the list has (for the tests).
int CodeListSize(TCodeList list);
