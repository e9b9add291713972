// Long run: N cycles of what a user does all day against one database:
// connect, open the table, filter it, replicate a value into the filtered
// rows (one UPDATE with a parameter, commit, reopen unfiltered), close.
// Prints resident memory, open descriptors and the handles the server sees
// for the run's connection before and after, so growth shows at a glance.
//
//   bench_longrun [cycles] [--keep] [database]
//     cycles    default 10000
//     --keep    stay connected between cycles (close only the table), so a
//               statement or transaction handle leaked per cycle piles up
//               on one attachment
//     --attach-only  each cycle only connects and disconnects: what the
//               client library itself costs per attachment, for comparison
//     database  a name the client library takes ("host:path", a path);
//               default: a fresh database made for the run, through the
//               server on localhost when one listens, else embedded
#include "db/FbDatabase.h"
#include "db/FbSQL.h"
#include "db/FbTable.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char* const kPassword = "plumtower";
constexpr int kLinhas = 200;
constexpr int kGrupos = 10;

long residente() {
    std::ifstream in("/proc/self/status");
    std::string linha;
    while (std::getline(in, linha))
        if (linha.rfind("VmRSS:", 0) == 0) return std::strtol(linha.c_str() + 6, nullptr, 10);
    return -1;
}

/// Bytes the program holds on the heap (growth here is a leak, not
/// fragmentation).
long heap() {
    return static_cast<long>(mallinfo2().uordblks);
}

int descritores() {
    int n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n - 1; // the iterator's own descriptor
}

bool servidorLocal() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(3050);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

/// The one-number answer of `consulta`, run on `sql`'s connection.
long umNumero(TFbSQL& sql, const std::string& consulta) {
    sql.Close();
    sql.SQL().Clear();
    sql.SQL().Add(consulta);
    sql.ExecQuery();
    long n = std::stol(sql.ColumnAt(0).AsString());
    sql.Close();
    return n;
}

struct Objetos {
    TFbDatabase conexao;
    TFbTransaction transacao;
    TFbTable tabela;
    TFbSQL sql;
    TFbSQL monitor;

    explicit Objetos(const std::string& banco) {
        conexao.SetLoginPrompt(false);
        conexao.SetDatabaseName(banco);
        conexao.SetParams({"user_name=SYSDBA", std::string("password=") + kPassword});
        transacao.SetDefaultDatabase(&conexao);
        conexao.SetDefaultTransaction(&transacao);
        tabela.SetDatabase(&conexao);
        tabela.SetTransaction(&transacao);
        tabela.SetBufferChunks(1000);
        sql.SetDatabase(&conexao);
        sql.SetTransaction(&transacao);
        monitor.SetDatabase(&conexao);
        monitor.SetTransaction(&transacao);
    }
};

void criaBanco(const std::string& banco) {
    TFbDatabase::CreateDatabase("CREATE DATABASE '" + banco + "' USER 'SYSDBA' PASSWORD '" +
                                kPassword + "' PAGE_SIZE 8192 DEFAULT CHARACTER SET NONE");
    Objetos o(banco);
    // Asynchronous writes: the run measures the program, not the disk's
    // flush at every commit.
    o.conexao.AddParam("force_write=0");
    o.conexao.Open();
    o.conexao.ExecuteImmediate("create table ITENS (ID integer not null primary key, GRUPO "
                               "integer, VALOR varchar(20), QTD double precision)");
    o.sql.SQL().Add("insert into ITENS values (:id, :grupo, :valor, :qtd)");
    for (int i = 1; i <= kLinhas; ++i) {
        o.sql.ParamNamed("ID").SetAsString(std::to_string(i));
        o.sql.ParamNamed("GRUPO").SetAsString(std::to_string(i % kGrupos));
        o.sql.ParamNamed("VALOR").SetAsString("v" + std::to_string(i));
        o.sql.ParamNamed("QTD").SetAsString(std::to_string(i));
        o.sql.ExecQuery();
    }
    o.transacao.Commit();
    o.conexao.Close();
}

/// Server-side handles of the run's own attachment: statements and
/// transactions (the monitoring statement itself included).
struct Alcas {
    long comandos = -1, transacoes = -1;
};

Alcas alcasDoServidor(Objetos& o) {
    Alcas a;
    a.comandos = umNumero(o.monitor, "select count(*) from MON$STATEMENTS where "
                                     "MON$ATTACHMENT_ID = current_connection");
    a.transacoes = umNumero(o.monitor, "select count(*) from MON$TRANSACTIONS where "
                                       "MON$ATTACHMENT_ID = current_connection");
    o.monitor.ReleaseStatement();
    return a;
}

bool soConexao = false;

/// One cycle; returns the server's handle counts seen just before the close.
Alcas ciclo(Objetos& o, int n, bool manter, bool medir) {
    if (!o.conexao.Connected()) o.conexao.Open();
    if (soConexao) {
        Alcas a;
        if (medir) a = alcasDoServidor(o);
        o.conexao.Close();
        return a;
    }
    // Open the table and read every row, as the grid would on a scroll.
    o.tabela.Close();
    o.tabela.SetFiltered(false);
    o.tabela.SetFilter("");
    o.tabela.SetTableName("ITENS");
    o.tabela.Open();
    o.tabela.Last();

    // Filter, as "Filtrar" applies a condition: close, set, reopen.
    const int grupo = n % kGrupos;
    o.tabela.Close();
    o.tabela.SetFilter("GRUPO = " + std::to_string(grupo));
    o.tabela.SetFiltered(true);
    o.tabela.Open();
    for (o.tabela.First(); !o.tabela.Eof(); o.tabela.Next())
        (void)o.tabela.FieldByName("VALOR").AsString();

    // Replicate, as "Replicar" does.
    o.sql.Close();
    o.sql.SQL().Clear();
    o.sql.SQL().Add("update " + o.tabela.TableName() + " set VALOR = :p0");
    o.sql.SQL().Add(" where " + o.tabela.Filter());
    o.sql.ParamNamed("P0").SetAsString("c" + std::to_string(n));
    o.sql.ExecQuery();
    o.transacao.Commit();
    o.tabela.Close();
    o.tabela.Open();
    o.tabela.SetFilter("");
    o.tabela.SetFiltered(false);

    Alcas a;
    if (medir) a = alcasDoServidor(o);
    // Close: the table only, or the whole connection.
    o.tabela.Close();
    if (!manter) o.conexao.Close();
    return a;
}

} // namespace

int main(int argc, char** argv) {
    long ciclos = 10000;
    bool manter = false;
    std::string banco;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--keep")
            manter = true;
        else if (a == "--attach-only")
            soConexao = true;
        else if (!a.empty() && a.find_first_not_of("0123456789") == std::string::npos)
            ciclos = std::stol(a);
        else
            banco = a;
    }

    std::string criado;
    try {
        if (banco.empty()) {
            char modelo[] = "/tmp/brivane-longrun-XXXXXX";
            if (!::mkdtemp(modelo)) {
                std::perror("mkdtemp");
                return 1;
            }
            std::filesystem::permissions(modelo, std::filesystem::perms::all);
            criado = std::string(modelo) + "/longrun.fdb";
            banco = servidorLocal() ? "localhost:" + criado : criado;
            criaBanco(banco);
        }
        std::printf("database %s, %ld cycles, %s\n", banco.c_str(), ciclos,
                    soConexao ? "connect and disconnect only (--attach-only)"
                    : manter  ? "one connection (--keep)"
                              : "connect, open, filter, replicate, close and disconnect every "
                                "cycle");

        Objetos o(banco);
        // The first cycle loads the client library and its caches: the
        // figures before are taken after it.
        Alcas primeiro = ciclo(o, 0, manter, true);
        const long rss0 = residente();
        const long heap0 = heap();
        const int fd0 = descritores();
        std::printf("before: VmRSS %ld kB, heap in use %ld B, descriptors %d, server handles of "
                    "the connection: %ld statements, %ld transactions\n",
                    rss0, heap0, fd0, primeiro.comandos, primeiro.transacoes);
        std::fflush(stdout);

        const auto inicio = std::chrono::steady_clock::now();
        Alcas ultimo;
        for (long n = 1; n <= ciclos; ++n) {
            const bool medir = n == ciclos;
            Alcas a = ciclo(o, static_cast<int>(n), manter, medir);
            if (medir) ultimo = a;
            if (n % (ciclos >= 10 ? ciclos / 10 : 1) == 0) {
                const double s =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio)
                        .count();
                std::printf("  %ld cycles, %.1f s, %.1f cycles/s, VmRSS %ld kB, heap in use %ld B, "
                            "descriptors %d\n",
                            n, s, n / s, residente(), heap(), descritores());
                std::fflush(stdout);
            }
        }
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
        if (o.conexao.Connected()) o.conexao.Close();
        const long rss1 = residente();
        const long heap1 = heap();
        const int fd1 = descritores();
        std::printf("after:  VmRSS %ld kB, heap in use %ld B, descriptors %d, server handles of "
                    "the connection: %ld statements, %ld transactions\n",
                    rss1, heap1, fd1, ultimo.comandos, ultimo.transacoes);
        std::printf("growth: VmRSS %+ld kB, heap in use %+ld B, descriptors %+d; %.1f s, %.1f "
                    "cycles/s\n",
                    rss1 - rss0, heap1 - heap0, fd1 - fd0, s, ciclos / s);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "longrun: %s\n", e.what());
        return 1;
    }
    if (!criado.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(criado).parent_path(), ec);
    }
    return 0;
}
