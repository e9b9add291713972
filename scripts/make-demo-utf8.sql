-- The demonstration database's table of UTF8 text, run by make-demo.sh
-- through a UTF8 connection after make-demo.sql: characters beyond Latin-1
-- (the euro, curly quotes, a dash, Chinese) beside the accented Portuguese
-- of the other tables, which stay in character set NONE.
CREATE TABLE FORNECEDORES (
  ID        INTEGER NOT NULL PRIMARY KEY,
  NOME      VARCHAR(60) CHARACTER SET UTF8 NOT NULL,
  CIDADE    VARCHAR(40) CHARACTER SET UTF8,
  SIGLA     CHAR(4) CHARACTER SET UTF8,
  CONDICOES VARCHAR(80) CHARACTER SET UTF8,
  NOTAS     BLOB SUB_TYPE TEXT CHARACTER SET UTF8
);

INSERT INTO FORNECEDORES VALUES (1, 'José Ação Distribuidora', 'São Paulo', 'JAD', 'Frete grátis acima de € 500 — “promoção”', 'Entrega às terças e quintas.');
INSERT INTO FORNECEDORES VALUES (2, 'Zoë Müller GmbH', 'Zürich', 'ZMü', 'Pagamento em €uro, 30 dias', 'Catálogo em alemão e português.');
INSERT INTO FORNECEDORES VALUES (3, '上海贸易有限公司', '上海 (Xangai)', '中', 'Preço FOB – mínimo 1.000 peças', '联系人: 王先生 (Sr. Wang)');
INSERT INTO FORNECEDORES VALUES (4, 'Conceição & Irmãos', 'Florianópolis', 'CI', '‘À vista’ com 5% de desconto', NULL);
COMMIT;
