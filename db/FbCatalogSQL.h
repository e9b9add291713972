#pragma once
// Every query the access layer sends to the catalog (the RDB$ and MON$
// tables), as pure functions of their inputs, like the table's own texts in
// FbDataSetSQL.cpp. Values travel as parameters ("?"), never inside the text.
#include <string>

/// What the connection reads once it is attached, in one row: the
/// database's default character set, the least and the greatest set of the
/// user tables' text columns other than NONE, OCTETS and ASCII (null when
/// there is none), and, with `serverFacts`, the database's SQL dialect and
/// the server's version text (MON$DATABASE and the SYSTEM context: servers
/// before Firebird 2.1 refuse them, and are then asked without).
std::string FbCatalogSurveySQL(bool serverFacts);

/// The tables' names (views never; system tables only when asked), one row
/// each: the name and, when `stamped`, the stamp of its catalog facts (see
/// FbCatalogTableFactsSQL), so a listing tells which facts kept since have
/// changed. Unstamped it is the classic listing, for servers before
/// Firebird 2.1 (no HASH).
std::string FbCatalogTableNamesSQL(bool includeSystemTables, bool stamped = true);

/// Everything the access layer keeps of one table, for the relation named
/// by parameter 1 (exactly as the catalog stores it): its system flag, its
/// key length, the stamp and its columns and index segments as records
/// (FbParseTableFacts reads them). With `oneRow` the records come joined
/// into one text of at most kFbFactsBytes bytes (LIST, Firebird 2.1 on),
/// so the whole answer is one exchange; otherwise one record per row.
std::string FbCatalogTableFactsSQL(bool oneRow);

/// The most bytes the one-row form of FbCatalogTableFactsSQL gives back; a
/// table whose records take more makes the server refuse that form.
inline constexpr int kFbFactsBytes = 32000;

/// The relation name of a table as the catalog stores it: the name quoted
/// for `dialect` and normalised again, so dialect 3 keeps its case and
/// dialect 1 upper-cases it.
std::string FbCatalogRelationName(int dialect, const std::string& table);
