// Reads /quotes.json at the gateway's poll interval and redraws the table.
'use strict';

const svgNs = 'http://www.w3.org/2000/svg';
let pollSeconds = 10;

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function signed(value, decimals) {
  const text = value.toFixed(decimals);
  return value > 0 ? '+' + text : text;
}

// As the ticker words a quote's age: 刚刚, 3分钟前, 2小时前.
function ageText(seconds) {
  const minutes = Math.floor(seconds / 60);
  if (minutes <= 0) return '刚刚';
  if (minutes <= 60) return minutes + '分钟前';
  return Math.floor(minutes / 60) + '小时前';
}

function sparkline(points) {
  const svg = document.createElementNS(svgNs, 'svg');
  svg.setAttribute('viewBox', '0 0 100 30');
  svg.setAttribute('preserveAspectRatio', 'none');
  const known = (points || []).map((v, i) => [i, v]).filter(p => p[1] !== null);
  if (known.length < 2) return svg;
  const values = known.map(p => p[1]);
  const low = Math.min(...values), high = Math.max(...values);
  const span = high - low || 1;
  const last = points.length - 1 || 1;
  const line = document.createElementNS(svgNs, 'polyline');
  line.setAttribute('points', known.map(([i, v]) =>
    (i / last * 100).toFixed(1) + ',' + (28 - (v - low) / span * 26).toFixed(1)).join(' '));
  line.setAttribute('vector-effect', 'non-scaling-stroke');
  svg.appendChild(line);
  return svg;
}

function row(q) {
  const tr = el('tr');
  tr.dataset.code = q.code;
  tr.appendChild(el('td', 'name', q.display));
  const direction = q.change > 0 ? 'rise' : q.change < 0 ? 'fall' : '';
  if (q.value === null) {
    tr.appendChild(el('td', 'num price na', 'N/A'));
    tr.appendChild(el('td', 'num na', q.reason || ''));
    tr.appendChild(el('td', 'line'));
    tr.appendChild(el('td', 'from'));
    return tr;
  }
  const closed = q.market !== 'open';
  const price = el('td', 'num price ' + (closed ? 'quiet' : direction), q.value.toFixed(q.decimals));
  tr.appendChild(price);
  const change = el('td', 'num ' + (closed ? 'quiet' : direction));
  if (q.change === null) {
    change.textContent = 'N/A';
  } else {
    change.appendChild(el('span', 'abs', signed(q.change, q.decimals)));
    change.appendChild(el('span', 'pct', signed(q.change_pct, 2) + '%'));
  }
  tr.appendChild(change);
  const line = el('td', 'line ' + direction);
  line.appendChild(sparkline(q.day));
  tr.appendChild(line);
  const from = el('td', 'from');
  from.appendChild(el('span', 'source', q.source_title || q.source || ''));
  let age = q.age_seconds === null ? '' : ageText(q.age_seconds);
  if (q.reference_rate) age = '参考价';
  else if (closed) age = '休市';
  from.appendChild(el('span', 'age', age));
  tr.appendChild(from);
  return tr;
}

function timeOf(iso) {
  if (!iso) return '';
  const d = new Date(iso);
  return [d.getHours(), d.getMinutes(), d.getSeconds()].map(n => String(n).padStart(2, '0')).join(':');
}

function show(doc) {
  pollSeconds = Math.max(1, doc.poll_seconds || pollSeconds);
  document.getElementById('time').textContent =
    (doc.demo ? '【演示牌价】' : '【牌价更新时间】') + ' ' + timeOf(doc.updated || doc.time);
  const error = document.getElementById('error');
  error.hidden = !doc.error;
  error.textContent = doc.error || '';
  const rows = document.getElementById('rows');
  rows.replaceChildren(...(doc.quotes || []).map(row));
}

function fail(text) {
  const error = document.getElementById('error');
  error.hidden = false;
  error.textContent = text;
}

async function poll() {
  try {
    const answer = await fetch('/quotes.json', {cache: 'no-cache'});
    if (answer.ok || answer.status === 503) {
      const doc = await answer.json();
      show(doc);
    } else {
      fail('数据传送有误！请检查网络（HTTP ' + answer.status + '）');
    }
  } catch (e) {
    fail('数据传送有误！请检查网络');
  }
  setTimeout(poll, pollSeconds * 1000);
}

poll();
