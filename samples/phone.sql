-- A small phone-style database for trying the program: contacts, messages
-- with Chinese text and emoji, a call log, a WITHOUT ROWID settings table,
-- an attachment blob, one message long enough to overflow into overflow
-- pages, and a few deleted rows whose space is left as freeblocks.
PRAGMA page_size = 4096;
PRAGMA encoding = 'UTF-8';
PRAGMA secure_delete = OFF;
PRAGMA journal_mode = DELETE;

BEGIN;

CREATE TABLE contacts (
  _id INTEGER PRIMARY KEY,
  display_name TEXT NOT NULL,
  phone_number VARCHAR(32),
  starred INTEGER DEFAULT 0,
  last_contacted INTEGER
);

CREATE TABLE messages (
  _id INTEGER PRIMARY KEY AUTOINCREMENT,
  thread_id INTEGER NOT NULL,
  address TEXT,
  date INTEGER,
  type INTEGER,           -- 1 received, 2 sent
  body TEXT,
  read INTEGER DEFAULT 0,
  score REAL
);
CREATE INDEX messages_thread ON messages(thread_id, date);

CREATE TABLE calls (
  _id INTEGER PRIMARY KEY,
  number TEXT,
  date INTEGER,
  duration INTEGER,
  type INTEGER,
  geocoded_location TEXT
);

CREATE TABLE settings (
  "key" TEXT PRIMARY KEY,
  value,
  updated INTEGER
) WITHOUT ROWID;

CREATE TABLE attachments (
  _id INTEGER PRIMARY KEY,
  message_id INTEGER REFERENCES messages(_id),
  mime_type TEXT,
  data BLOB
);

INSERT INTO contacts VALUES
  (1, '张伟', '+86 138 0013 8000', 1, 1577836800000),
  (2, 'Alice Smith', '+1 202 555 0143', 0, 1577923200000),
  (3, '李娜', '+86 139 1234 5678', 0, NULL),
  (4, 'Bob 🚲', '+44 20 7946 0958', 1, 1578009600000),
  (5, '佐藤 花子', '+81 90 1234 5678', 0, 1578096000000),
  (6, 'Deleted Contact', '+1 555 0100', 0, NULL);

INSERT INTO messages (thread_id, address, date, type, body, read, score) VALUES
  (1, '+86 138 0013 8000', 1577836800123, 1, '你好！明天见面吗？', 1, 0.5),
  (1, '+86 138 0013 8000', 1577836860456, 2, '好的，下午三点在咖啡店 ☕', 1, 1.25),
  (2, '+1 202 555 0143', 1577923200789, 1, 'Happy new year! 🎉🎆', 0, NULL),
  (2, '+1 202 555 0143', 1577923260000, 2, 'Thanks, you too 😊', 1, -3.75),
  (3, '+86 139 1234 5678', 1578009600000, 1, '验证码：482915，请勿泄露。', 1, 2.0e-3),
  (4, '+44 20 7946 0958', 1578096000000, 1, 'Ride at 7? 🚲🚲', 0, NULL),
  (4, '+44 20 7946 0958', 1578096060000, 2, 'Tab	and line
break and a backslash \ in one message', 1, 100.0),
  (5, '+81 90 1234 5678', 1578182400000, 1, 'こんにちは 🌸', 1, NULL),
  (2, '+1 202 555 0143', 1578268800000, 1,
     'Long message: ' || replace(hex(zeroblob(3000)), '00', '长文本 long text 😀 '), 0, 9.5),
  (6, '+1 555 0100', 1578355200000, 1, 'This message was deleted', 0, NULL),
  (6, '+1 555 0100', 1578355260000, 2, '这条消息已被删除', 0, NULL);

INSERT INTO calls VALUES
  (1, '+86 138 0013 8000', 1577836700000, 125, 1, '北京'),
  (2, '+1 202 555 0143', 1577923100000, 0, 3, 'Washington, DC'),
  (3, '+44 20 7946 0958', 1578096100000, 3605, 2, 'London'),
  (4, '-1', 1578182300000, 42, 1, NULL),
  (5, '+1 555 0100', 1578355100000, 17, 1, NULL);

INSERT INTO settings VALUES
  ('ringtone', 'content://media/internal/audio/media/12', 1577836800),
  ('theme', '深色', 1577923200),
  ('font_scale', 1.15, 1578009600),
  ('backup_enabled', 1, 1578096000),
  ('last_sync_token', x'00FF10203040', 1578182400);

INSERT INTO attachments VALUES
  (1, 2, 'image/jpeg',
   x'FFD8FFE000104A46494600010101004800480000FFDB004300080606070605080707070909080A0C140D0C0B0B0C1912130F141D1A1F1E1D1A1C1C20242E2720222C231C1C2837292C30313434341F27393D38323C2E333432FFD9');

COMMIT;

-- The deleted rows: their cells become freeblocks and stay in the file.
DELETE FROM messages WHERE thread_id = 6;
DELETE FROM contacts WHERE _id = 6;
DELETE FROM calls WHERE _id = 5;
