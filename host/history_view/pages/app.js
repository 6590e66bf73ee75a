// The history's pages: conversations, one conversation, search, contacts.
// Every text from the history goes into the page as text (textContent or
// a text node), never as markup, whatever characters it holds.
'use strict';

const main = document.getElementById('main');

// --- small helpers -----------------------------------------------------------

// An element with a class and, optionally, its text.
function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined && text !== null) e.textContent = String(text);
  return e;
}

async function api(what, params) {
  const query = new URLSearchParams(params || {}).toString();
  const res = await fetch('api/' + what + (query ? '?' + query : ''));
  if (!res.ok) throw new Error(what + ': ' + res.status);
  return res.json();
}

const kWeekdays = ['星期日', '星期一', '星期二', '星期三', '星期四', '星期五', '星期六'];

// "2009-04-23 09:05:07" -> "2009年4月23日 星期四"
function dayLabel(time) {
  if (!time) return '无日期';
  const [y, m, d] = time.slice(0, 10).split('-').map(Number);
  const weekday = kWeekdays[new Date(y, m - 1, d).getDay()] || '';
  return y + '年' + m + '月' + d + '日 ' + weekday;
}

function shortDate(time) {
  return time ? time.slice(0, 10) : '';
}

// Who a conversation is with: the contact's name, else the number.
function who(name, number) {
  return name || number || '(无号码)';
}

// The text into e with every occurrence of query marked, as text nodes
// and <mark> elements.
function highlight(e, text, query) {
  let hay = text.toLowerCase();
  let needle = query.toLowerCase();
  // Lower case may change a text's length (a few letters do): then the
  // marks follow the text as it is.
  if (hay.length !== text.length || needle.length !== query.length) {
    hay = text;
    needle = query;
  }
  let at = 0;
  while (needle && at <= text.length) {
    const found = hay.indexOf(needle, at);
    if (found < 0) break;
    if (found > at) e.appendChild(document.createTextNode(text.slice(at, found)));
    e.appendChild(el('mark', '', text.slice(found, found + needle.length)));
    at = found + needle.length;
  }
  if (at < text.length) e.appendChild(document.createTextNode(text.slice(at)));
}

function showError(err) {
  main.replaceChildren(el('p', 'note', '载入失败：' + err.message));
}

// Each view ends what an earlier one started (a pending search, a scroll
// listener) by checking it is still the current one.
let currentView = 0;

function setNav(which) {
  for (const id of ['conversations', 'search', 'contacts'])
    document.getElementById('nav-' + id).classList.toggle('current', id === which);
}

// --- conversations -----------------------------------------------------------

let conversationsCache = null;

async function showConversations(view) {
  setNav('conversations');
  const filter = el('input');
  filter.type = 'search';
  filter.placeholder = '按姓名或号码筛选';
  filter.id = 'filter';
  const count = el('span', 'sub');
  const bar = el('div', 'bar');
  bar.append(el('h1', '', '会话'), filter, count);
  const scroll = el('div', 'scroll');
  const list = el('ul', 'list conversations');
  scroll.append(list);
  main.replaceChildren(bar, scroll);
  if (!conversationsCache) conversationsCache = await api('conversations');
  if (view !== currentView) return;
  const all = conversationsCache;
  let rendering = 0;

  const render = () => {
    const q = filter.value.trim().toLowerCase();
    const shown = q ? all.filter(c => (c.name + ' ' + c.number + ' ' + c.key).toLowerCase()
                                          .includes(q))
                    : all;
    count.textContent = q ? shown.length + ' / ' + all.length + ' 个会话' : all.length + ' 个会话';
    // The first screenful at once, the rest a slice at a time after it is
    // drawn: a history's thousands of conversations would hold it back.
    const item = c => {
      const a = el('a');
      a.href = '#/c/' + encodeURIComponent(c.key);
      const name = el('div', 'name', who(c.name, c.number));
      if (c.name) name.append(el('span', 'number', c.number));
      a.append(name, el('div', 'meta', c.count + ' 条 · ' + shortDate(c.last)),
               el('div', 'words', (c.last_received ? '' : '我：') + c.last_text));
      const li = el('li', 'conv');
      li.append(a);
      return li;
    };
    const mine = ++rendering;
    list.replaceChildren(...shown.slice(0, 60).map(item));
    let at = 60;
    const rest = () => {
      if (mine !== rendering || view !== currentView) return;
      list.append(...shown.slice(at, at + 300).map(item));
      at += 300;
      if (at < shown.length) setTimeout(rest, 0);
    };
    if (at < shown.length) setTimeout(rest, 0);
    if (!all.length) list.append(el('li', 'note', '历史中还没有短信。'));
  };
  filter.addEventListener('input', render);
  render();
  filter.focus();
}

// --- one conversation --------------------------------------------------------

function bubble(m) {
  const box = el('div', 'msg ' + (m.received ? 'received' : 'sent'));
  box.dataset.id = m.id;
  box.append(el('div', 'bubble', m.text), el('span', 'time', m.time ? m.time.slice(11, 16) : ''));
  return box;
}

// The messages of a page with a line before each new day; prev is the time
// of the message just before the page, if any.
function renderPage(messages, prevTime) {
  const frag = document.createDocumentFragment();
  let day = prevTime === undefined ? null : prevTime.slice(0, 10);
  for (const m of messages) {
    const d = m.time.slice(0, 10);
    if (d !== day) {
      const line = el('div', 'day', dayLabel(m.time));
      line.dataset.day = d;
      frag.append(line);
      day = d;
    }
    frag.append(bubble(m));
  }
  return frag;
}

async function showConversation(view, key, at) {
  setNav('conversations');
  const params = {key};
  if (at && at.id) params.at = at.id;
  if (at && at.date) params.date = at.date;
  const page = await api('conversation', params);
  if (view !== currentView) return;

  const back = el('a', 'back', '← 会话');
  back.href = '#/';
  const title = el('h1', '', who(page.name, page.number));
  const sub = el('span', 'sub', page.name ? page.number : '');
  const date = el('input');
  date.type = 'date';
  date.id = 'jump-date';
  date.title = '跳到这一天';
  const jump = el('button', '', '跳到日期');
  jump.addEventListener('click', () => {
    if (date.value)
      location.hash = '#/c/' + encodeURIComponent(key) + '/d/' + date.value;
  });
  const bar = el('div', 'bar');
  bar.append(back, title, sub, date, jump);
  const scroll = el('div', 'scroll');
  const thread = el('div', 'thread');
  scroll.append(thread);
  main.replaceChildren(bar, scroll);

  const state = {
    first: null, last: null,  // the messages at both ends
    older: page.older, newer: page.newer, loading: false,
  };
  const take = (p, where) => {
    if (!p.messages.length) return;
    if (where === 'end' || !state.first) {
      thread.append(renderPage(p.messages, state.last ? state.last.time : undefined));
      if (!state.first) state.first = p.messages[0];
      state.last = p.messages[p.messages.length - 1];
    } else {
      // Older messages on top: the day line of what was first goes when the
      // page ends on the same day.
      const top = thread.firstChild;
      if (top && top.classList.contains('day') &&
          top.dataset.day === p.messages[p.messages.length - 1].time.slice(0, 10))
        top.remove();
      thread.prepend(renderPage(p.messages));
      state.first = p.messages[0];
    }
  };
  take(page, 'end');
  if (!page.messages.length) thread.append(el('p', 'note', '这个会话没有短信。'));

  const anchor = page.anchor && thread.querySelector('[data-id="' + Number(page.anchor) + '"]');
  if (anchor) {
    anchor.classList.add('anchor');
    anchor.scrollIntoView({block: 'center'});
  } else {
    scroll.scrollTop = scroll.scrollHeight;
  }

  const more = async () => {
    if (state.loading || view !== currentView) return;
    if (scroll.scrollTop < 400 && state.older && state.first) {
      state.loading = true;
      const p = await api('conversation', {key, before: state.first.id});
      if (view !== currentView) return;
      const height = scroll.scrollHeight;
      take(p, 'start');
      // Keep what was on screen where it was.
      scroll.scrollTop += scroll.scrollHeight - height;
      state.older = p.older;
      state.loading = false;
      more();
    } else if (scroll.scrollHeight - scroll.scrollTop - scroll.clientHeight < 400 &&
               state.newer && state.last) {
      state.loading = true;
      const p = await api('conversation', {key, after: state.last.id});
      if (view !== currentView) return;
      take(p, 'end');
      state.newer = p.newer;
      state.loading = false;
      more();
    }
  };
  scroll.addEventListener('scroll', () => more().catch(showError));
  more().catch(showError);
}

// --- search ------------------------------------------------------------------

async function showSearch(view, initial) {
  setNav('search');
  const input = el('input');
  input.type = 'search';
  input.id = 'query';
  input.placeholder = '搜索全部短信（中文或英文）';
  input.value = initial || '';
  const status = el('span', 'sub');
  const bar = el('div', 'bar');
  bar.append(el('h1', '', '搜索'), input, status);
  const scroll = el('div', 'scroll');
  const list = el('ul', 'list hits');
  scroll.append(list);
  main.replaceChildren(bar, scroll);

  let asked = 0;
  let timer = null;
  const moreButton = el('button', 'more', '更多结果');

  const run = async (query, before) => {
    const mine = ++asked;
    const params = {q: query};
    if (before) params.before = before;
    const result = await api('search', params);
    if (mine !== asked || view !== currentView) return;
    if (!before) list.replaceChildren();
    moreButton.remove();
    for (const h of result.hits) {
      const a = el('a');
      a.href = '#/c/' + encodeURIComponent(h.key) + '/m/' + h.id;
      const name = el('div', 'name', who(h.name, h.number));
      if (h.name) name.append(el('span', 'number', h.number));
      const text = el('div', 'hit-text');
      highlight(text, h.text, query);
      a.append(name, el('div', 'meta', (h.received ? '收到 · ' : '发出 · ') + h.time), text);
      const li = el('li', 'hit');
      li.dataset.id = h.id;
      li.append(a);
      list.append(li);
    }
    const shown = list.querySelectorAll('.hit').length;
    status.textContent = shown ? shown + (result.more ? '+' : '') + ' 条' : '没有找到';
    if (result.more) {
      moreButton.onclick = () => run(query, result.hits[result.hits.length - 1].id)
                                     .catch(showError);
      scroll.append(moreButton);
    }
  };

  input.addEventListener('input', () => {
    clearTimeout(timer);
    const query = input.value.trim();
    history.replaceState(null, '', '#/search' + (query ? '?q=' + encodeURIComponent(query) : ''));
    if (!query) {
      ++asked;
      list.replaceChildren();
      status.textContent = '';
      moreButton.remove();
      return;
    }
    timer = setTimeout(() => run(query).catch(showError), 150);
  });
  input.focus();
  if (input.value.trim()) await run(input.value.trim());
}

// --- contacts ----------------------------------------------------------------

function numbersLine(c) {
  const parts = c.numbers.map(n => n.label + ' ' + n.value).concat(c.emails);
  return parts.join(' · ');
}

async function showContacts(view) {
  setNav('contacts');
  const filter = el('input');
  filter.type = 'search';
  filter.placeholder = '按姓名、号码或邮件筛选';
  const count = el('span', 'sub');
  const bar = el('div', 'bar');
  bar.append(el('h1', '', '联系人'), filter, count);
  const scroll = el('div', 'scroll');
  const list = el('ul', 'list contacts');
  scroll.append(list);
  main.replaceChildren(bar, scroll);
  const all = await api('contacts');
  if (view !== currentView) return;
  const render = () => {
    const q = filter.value.trim().toLowerCase();
    const shown = q ? all.filter(c => (c.name + ' ' + numbersLine(c)).toLowerCase().includes(q))
                    : all;
    count.textContent = shown.length + ' 位联系人';
    list.replaceChildren(...shown.map(c => {
      const a = el('a');
      a.href = '#/contact/' + encodeURIComponent(c.name);
      a.append(el('div', 'name', c.name || '(无姓名)'),
               el('div', 'meta', c.versions + ' 个版本 · ' + shortDate(c.last_seen)),
               el('div', 'contact-numbers', numbersLine(c)));
      const li = el('li', 'contact');
      li.append(a);
      return li;
    }));
  };
  filter.addEventListener('input', render);
  render();
}

async function showContact(view, name) {
  setNav('contacts');
  let c;
  try {
    c = await api('contact', {name});
  } catch (e) {
    c = null;
  }
  if (view !== currentView) return;
  const back = el('a', 'back', '← 联系人');
  back.href = '#/contacts';
  const bar = el('div', 'bar');
  bar.append(back, el('h1', '', name || '(无姓名)'));
  const scroll = el('div', 'scroll');
  main.replaceChildren(bar, scroll);
  if (!c) {
    scroll.append(el('p', 'note', '历史中没有这位联系人。'));
    return;
  }
  bar.append(el('span', 'sub', c.versions.length + ' 个版本'));

  const talks = el('div', 'card');
  talks.append(el('h2', '', '会话'));
  const list = el('ul', 'list');
  for (const t of c.conversations) {
    const a = el('a');
    a.href = '#/c/' + encodeURIComponent(t.key);
    a.append(el('div', 'name', t.key), el('div', 'meta', t.count + ' 条 · ' + shortDate(t.last)));
    const li = el('li');
    li.append(a);
    list.append(li);
  }
  if (!c.conversations.length) list.append(el('li', 'note', '没有与其号码的短信。'));
  talks.append(list);
  scroll.append(talks);

  // Newest first; a field that differs from the version before it is marked.
  c.versions.forEach((v, i) => {
    const older = c.versions[i + 1];
    const before = new Map(older ? older.fields.map(f => [f.label, f.value]) : []);
    const card = el('div', 'card version');
    card.append(el('h2', '', i === 0 ? '当前版本' : '第 ' + (c.versions.length - i) + ' 版'),
                el('div', 'seen', '首次见于 ' + v.first_seen + '（' + v.first_file + '）· 最后见于 ' +
                                      v.last_seen + '（' + v.last_file + '）'));
    const dl = el('dl', 'fields');
    for (const f of v.fields) {
      const changed = older && before.get(f.label) !== f.value ? ' changed' : '';
      dl.append(el('dt', changed.trim(), f.label), el('dd', changed.trim(), f.value));
    }
    card.append(dl);
    scroll.append(card);
  });
}

// --- routing -----------------------------------------------------------------

// #/                      the conversations
// #/c/KEY[/m/ID|/d/DATE]  a conversation, at a message or a day
// #/search[?q=TEXT]       search
// #/contacts, #/contact/NAME
function route() {
  const view = ++currentView;
  const hash = location.hash.replace(/^#/, '') || '/';
  const [path, query] = hash.split('?');
  const parts = path.split('/').slice(1).map(decodeURIComponent);
  let shown;
  if (parts[0] === 'c' && parts[1]) {
    const at = parts[2] === 'm' ? {id: parts[3]} : parts[2] === 'd' ? {date: parts[3]} : null;
    shown = showConversation(view, parts[1], at);
  } else if (parts[0] === 'search') {
    shown = showSearch(view, new URLSearchParams(query || '').get('q'));
  } else if (parts[0] === 'contacts') {
    shown = showContacts(view);
  } else if (parts[0] === 'contact') {
    shown = showContact(view, parts[1] || '');
  } else {
    shown = showConversations(view);
  }
  shown.catch(showError);
}

window.addEventListener('hashchange', route);
route();
