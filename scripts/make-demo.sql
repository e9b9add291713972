-- Demonstration database for Brivane. Kept in UTF-8 here; make-demo.sh
-- converts it to Latin-1 bytes before isql runs it, because the database
-- uses character set NONE and the program reads Latin-1.

-- Customers: primary key, accented texts, every text and number kind.
CREATE TABLE CLIENTES (
  ID            INTEGER NOT NULL PRIMARY KEY,
  NOME          VARCHAR(60) NOT NULL,
  CIDADE        VARCHAR(40),
  UF            CHAR(2),
  NASCIMENTO    DATE,
  LIMITE        NUMERIC(9,2),
  CADASTRO      TIMESTAMP,
  OBSERVACOES   BLOB SUB_TYPE TEXT
);

INSERT INTO CLIENTES VALUES (1, 'José da Conceição', 'São Paulo', 'SP', '1980-03-05', 15000.50, '2024-01-15 09:30:00', 'Cliente desde a inauguração da loja.');
INSERT INTO CLIENTES VALUES (2, 'Maria Antônia Ribeiro', 'Florianópolis', 'SC', '1975-11-21', 8200.00, '2024-02-01 14:05:10', 'Prefere contato por e-mail.');
INSERT INTO CLIENTES VALUES (3, 'João Araújo', 'Belém', 'PA', '1990-07-30', 1234567.89, '2024-02-10 08:00:00', NULL);
INSERT INTO CLIENTES VALUES (4, 'Ângela Müller', 'Curitiba', 'PR', '1968-01-02', 500.00, '2024-03-03 17:45:00', 'Endereço de cobrança: Rua das Araucárias, 120.');
INSERT INTO CLIENTES VALUES (5, 'Inês Brandão', 'Goiânia', 'GO', NULL, -250.75, '2024-03-18 11:11:11', 'Saldo devedor negociado.');
INSERT INTO CLIENTES VALUES (6, 'Luís Gonçalves', 'Maceió', 'AL', '2001-12-25', 0, NULL, NULL);
COMMIT;

-- Orders reference customers, so CLIENTES cannot be cleared.
CREATE TABLE PEDIDOS (
  NUMERO      INTEGER NOT NULL PRIMARY KEY,
  CLIENTE_ID  INTEGER NOT NULL REFERENCES CLIENTES (ID),
  EMISSAO     DATE,
  HORA        TIME,
  SITUACAO    CHAR(10),
  TOTAL       NUMERIC(18,6)
);

INSERT INTO PEDIDOS VALUES (1001, 1, '2024-04-01', '10:15:00', 'ABERTO', 1520.5);
INSERT INTO PEDIDOS VALUES (1002, 2, '2024-04-02', '16:40:30', 'FATURADO', 89.9);
INSERT INTO PEDIDOS VALUES (1003, 1, '2024-04-05', '08:05:59', 'CANCELADO', 0.123456);
INSERT INTO PEDIDOS VALUES (1004, 4, '2024-04-09', '23:59:59', 'FATURADO', 45678.25);
COMMIT;

-- Products: every number kind, a QTD column, a binary blob, no key.
CREATE TABLE PRODUTOS (
  CODIGO        INTEGER,
  DESCRICAO     VARCHAR(80),
  GRUPO         SMALLINT,
  CODIGO_BARRAS BIGINT,
  PRECO         NUMERIC(9,2),
  QTD_ESTOQUE   NUMERIC(18,6),
  PESO          DOUBLE PRECISION,
  FOTO          BLOB SUB_TYPE 0
);

INSERT INTO PRODUTOS VALUES (10, 'Café torrado 500 g', 1, 7891234567890, 18.90, 120.5, 0.5, x'89504E470D0A1A0A0000000D49484452');
INSERT INTO PRODUTOS VALUES (11, 'Açúcar cristal 1 kg', 1, 7891234567891, 4.79, 80, 1, NULL);
INSERT INTO PRODUTOS VALUES (12, 'Pão de queijo congelado', 2, 7891234567892, 22.50, 12.125, 1.25, NULL);
INSERT INTO PRODUTOS VALUES (13, 'Feijão preto 1 kg', 1, 7891234567893, 8.99, 0.3333, 1, NULL);
INSERT INTO PRODUTOS VALUES (14, 'Óleo de soja 900 ml', 3, 7891234567894, 6.49, 1234567.5, 0.9, NULL);
INSERT INTO PRODUTOS VALUES (15, 'Maçã gala (kg)', 4, NULL, 9.98, 35.75, 1, NULL);

-- A table whose name and columns need quotes.
CREATE TABLE "anotacoes" (
  "id"     INTEGER NOT NULL PRIMARY KEY,
  "titulo" VARCHAR(40),
  "texto"  VARCHAR(200),
  "qtd_itens" DOUBLE PRECISION
);

INSERT INTO "anotacoes" VALUES (1, 'Lembrete', 'Conferir o estoque às sextas-feiras.', 3);
INSERT INTO "anotacoes" VALUES (2, 'Atenção', 'Preços reajustados em março.', 0.25);

-- A large table without primary key, to show rows arriving on demand.
CREATE TABLE MOVIMENTO (
  SEQUENCIA    INTEGER,
  DATA         DATE,
  HORA         TIME,
  MOMENTO      TIMESTAMP,
  HISTORICO    VARCHAR(40),
  DOCUMENTO    CHAR(10),
  VALOR        DOUBLE PRECISION,
  VL_QTDE_ITEM NUMERIC(18,6)
);

SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
  DECLARE D DATE = '2020-01-01';
BEGIN
  WHILE (I <= 100000) DO
  BEGIN
    INSERT INTO MOVIMENTO VALUES (
      :I,
      DATEADD(MOD(:I, 1461) DAY TO :D),
      DATEADD(MOD(:I * 37, 86400) SECOND TO TIME '00:00:00'),
      DATEADD(:I * 311 SECOND TO TIMESTAMP '2020-01-01 00:00:00'),
      IIF(MOD(:I, 3) = 0, 'Venda à vista', IIF(MOD(:I, 3) = 1, 'Devolução', 'Transferência')),
      'DOC' || LPAD(:I, 7, '0'),
      (:I * 1.37) - 5000,
      MOD(:I, 1000) / 7.000000);
    I = I + 1;
  END
END^
SET TERM ; ^

-- A view: listed nowhere in the chooser, which offers tables only.
CREATE VIEW V_PEDIDOS_CLIENTES (NUMERO, NOME, TOTAL) AS
  SELECT P.NUMERO, C.NOME, P.TOTAL FROM PEDIDOS P JOIN CLIENTES C ON C.ID = P.CLIENTE_ID;

COMMIT;
