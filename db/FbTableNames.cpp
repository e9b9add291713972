// The table-name listing of a connection, on its internal transaction so
// that the caller's transaction is never touched.
#include "db/FbDataSetCatalog.h"
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbUtils.h"

void TFbDatabase::ListTableNames(std::vector<std::string>& names, bool includeSystemTables) {
    TFbInternalTransactionScope scope(*this);
    std::string sql = "SELECT RDB$RELATION_NAME FROM RDB$RELATIONS WHERE RDB$VIEW_BLR IS NULL";
    if (!includeSystemTables) sql += " AND RDB$SYSTEM_FLAG = 0";
    auto st = scope.Statement(sql);
    st->ExecQuery();
    // Filled into a local list and swapped in, so observers of the caller's
    // list see one change.
    std::vector<std::string> result;
    while (!st->AtEnd() && st->FetchNext())
        result.push_back(FbTrimRight(st->ColumnAt(0).AsString()));
    names.swap(result);
    st->Close();
    st.reset();
    scope.Commit();
}
