'use strict';

// The station's page: the temperature now, the link, the history chart and the recorded days, kept live by
// the station's event stream. Every text from the station goes in through textContent.

const SECOND = 1000;
const MINUTE = 60 * SECOND;
const HOUR = 60 * MINUTE;
const DAY = 24 * HOUR;

const LINK_WORDS = {
  waiting: 'Waiting for the port',
  closed: 'Port closed',
  open: 'Port open, no reply yet',
  replies: 'Replies arriving',
  silent: 'Board silent',
};
const LAMPS = ['red', 'green', 'white'];
const SPANS = { '1h': HOUR, '24h': DAY, '7d': 7 * DAY, all: 0 };
const RECONNECT_MS = 3 * SECOND;
const MARGIN = { left: 52, right: 14, top: 14, bottom: 28 };
const LABEL_SPACING = 70; // css pixels between time labels, at least
const MOST_POINTS = 10000;

const TIME_STEPS = [
  [1, 's'], [2, 's'], [5, 's'], [10, 's'], [15, 's'], [30, 's'],
  [1, 'm'], [2, 'm'], [5, 'm'], [10, 'm'], [15, 'm'], [30, 'm'],
  [1, 'h'], [2, 'h'], [3, 'h'], [6, 'h'], [12, 'h'],
  [1, 'd'], [2, 'd'], [7, 'd'], [14, 'd'],
  [1, 'M'], [2, 'M'], [3, 'M'], [6, 'M'],
  [1, 'y'], [2, 'y'], [5, 'y'], [10, 'y'], [20, 'y'], [50, 'y'], [100, 'y'],
];
// The least length of each unit: a day can be 23 hours, a month 28 days.
const UNIT_MS = { s: SECOND, m: MINUTE, h: HOUR, d: 23 * HOUR, M: 28 * DAY, y: 365 * DAY };
const UNITS = ['s', 'm', 'h', 'd', 'M', 'y'];
const FIELDS = { s: 'Seconds', m: 'Minutes', h: 'Hours', d: 'Date', M: 'Month', y: 'FullYear' };
const MONDAY = Date.UTC(1970, 0, 5);

const page = {
  station: null,
  span: '24h',
  chart: null,
  loading: 0,
  answered: false, // the first chart's request, whatever its answer
  source: null,
  lost: false,
  day: '',
  hoverX: null,
  drawQueued: false,
};

function $(id) {
  return document.getElementById(id);
}

// Text

function degrees(celsius) {
  return celsius.toFixed(2) + ' °C';
}

function signedDegrees(celsius) {
  return (celsius > 0 ? '+' : '') + degrees(celsius);
}

function timeText(ms) {
  return new Date(ms).toLocaleString(undefined, {
    weekday: 'short', day: 'numeric', month: 'short', year: 'numeric',
    hour: '2-digit', minute: '2-digit', second: '2-digit',
  });
}

function shortTimeText(ms) {
  return new Date(ms).toLocaleString(undefined, {
    weekday: 'short', day: 'numeric', month: 'short', hour: '2-digit', minute: '2-digit', second: '2-digit',
  });
}

function sizeText(bytes) {
  const units = ['B', 'kB', 'MB', 'GB', 'TB'];
  let value = bytes;
  let unit = 0;
  while (value >= 1000 && unit < units.length - 1) {
    value /= 1000;
    ++unit;
  }
  return unit === 0 ? value + ' B' : value.toFixed(value < 10 ? 1 : 0) + ' ' + units[unit];
}

function limitsText(limits) {
  if (!limits) return '';
  const parts = [];
  if (typeof limits.low === 'number') parts.push('below ' + degrees(limits.low));
  if (typeof limits.high === 'number') parts.push('above ' + degrees(limits.high));
  return parts.join(', ');
}

// The station

async function getJson(url) {
  const answer = await fetch(url, { cache: 'no-store' });
  if (!answer.ok) throw new Error(url + ': HTTP ' + answer.status);
  return answer.json();
}

async function loadStation() {
  try {
    showStation(await getJson('api/state'));
  } catch (error) {
    console.warn(error);
  }
}

function showStation(station) {
  page.station = station;
  showReading(station.reading);
  showLink(station.link, station.lamp);
  $('port').textContent = station.port || '—';
  const broker = station.broker;
  showOptional('broker', broker ? broker.address + ' (' + broker.state + ')' : '');
  showOptional('limits', limitsText(station.limits));
  showOptional('offset', typeof station.offset === 'number' ? signedDegrees(station.offset) : '');
  $('version').textContent = station.version ? 'Version ' + station.version : '';
  queueDraw();
}

function showOptional(id, text) {
  $(id).textContent = text;
  $(id + '-row').hidden = !text;
}

function showReading(reading) {
  const temperature = $('temperature');
  const time = $('reading-time');
  if (!reading) {
    temperature.textContent = '--.-- °C';
    temperature.dataset.time = '';
    time.textContent = 'No reading yet';
    time.removeAttribute('datetime');
    return;
  }
  temperature.textContent = degrees(reading.celsius);
  temperature.dataset.time = reading.time;
  time.textContent = timeText(Date.parse(reading.time));
  time.dateTime = reading.time;
}

function showLink(link, lamp) {
  const words = LINK_WORDS[link] || 'Unknown';
  const colour = LAMPS.includes(lamp) ? lamp : 'white';
  $('link').textContent = words;
  $('link').dataset.link = link || '';
  $('lamp').className = 'lamp lamp-' + colour;
  $('lamp').setAttribute('aria-label', 'Lamp ' + colour + ': ' + words);
}

function onState(station) {
  // A change of state may leave the reading out: the last one still stands.
  if (!('reading' in station) && page.station) station.reading = page.station.reading;
  showStation(station);
}

function onReading(reading) {
  if (page.station) page.station.reading = reading;
  showReading(reading);
  addToChart({ t: Date.parse(reading.time), c: reading.celsius });
  const day = reading.time.slice(0, 10);
  if (page.day && day !== page.day) loadDays();
  page.day = day;
}

// The event stream

function connect() {
  const source = new EventSource('events');
  page.source = source;
  source.addEventListener('open', onOpen);
  source.addEventListener('error', onStreamError);
  source.addEventListener('state', (event) => withJson(event, onState));
  source.addEventListener('reading', (event) => withJson(event, onReading));
}

function withJson(event, use) {
  try {
    use(JSON.parse(event.data));
  } catch (error) {
    console.warn(error);
  }
}

function onOpen() {
  $('banner').hidden = true;
  if (!page.lost) return;
  page.lost = false;
  refresh();
}

function onStreamError(event) {
  if (event.target !== page.source) return;
  page.lost = true;
  $('banner').hidden = false;
  // The browser retries a dropped stream by itself, but not one the station refused.
  if (page.source.readyState === EventSource.CLOSED) {
    page.source = null;
    setTimeout(connect, RECONNECT_MS);
  }
}

function refresh() {
  loadChart();
  loadStation();
  loadDays();
}

// Recorded days

async function loadDays() {
  try {
    showDays(await getJson('api/days'));
  } catch (error) {
    console.warn(error);
  }
}

function showDays(days) {
  $('days-body').replaceChildren(...days.map(dayRow));
  $('days-table').hidden = days.length === 0;
  $('days-empty').hidden = days.length > 0;
}

function dayRow(day) {
  const row = document.createElement('tr');
  const name = cell(day.day);
  const weekday = document.createElement('span');
  weekday.className = 'weekday';
  weekday.textContent = weekdayText(day.day);
  name.append(weekday);
  const size = cell(sizeText(day.bytes));
  size.className = 'size';
  row.append(name, size, cell(dayLink(day.url)));
  return row;
}

function cell(content) {
  const td = document.createElement('td');
  td.append(content);
  return td;
}

function weekdayText(day) {
  const [year, month, date] = day.split('-').map(Number);
  const local = new Date(year, month - 1, date);
  return isNaN(local) ? '' : local.toLocaleDateString(undefined, { weekday: 'long' });
}

function dayLink(url) {
  // Only a file of the station's own, so that a proxy's prefix is kept and nothing leads elsewhere.
  if (!/^days\/[\w.-]+$/.test(url)) return '';
  const link = document.createElement('a');
  link.href = url;
  link.download = url.slice(5);
  link.textContent = 'Download CSV';
  return link;
}

// Chart data: readings and intervals alike as entries {from, to, min, max, mean, count}

async function loadChart() {
  const token = ++page.loading;
  const span = page.span;
  const points = Math.min(MOST_POINTS, Math.max(1, Math.round($('chart').clientWidth)));
  const now = Date.now();
  const from = SPANS[span] ? Math.floor((now - SPANS[span]) / SECOND) : 0;
  const to = Math.ceil(now / SECOND) + 1;
  try {
    const answer = await getJson(`api/readings?from=${from}&to=${to}&points=${points}`);
    if (token === page.loading) page.chart = chartOf(answer, span, points);
  } catch (error) {
    console.warn(error);
  }
  page.answered = true;
  queueDraw();
}

function chartOf(answer, span, points) {
  const intervals = Array.isArray(answer.intervals);
  const entries = intervals
    ? answer.intervals.map((i) => ({ ...i }))
    : (answer.readings || []).map((r) => ({ from: r.t, to: r.t, min: r.c, max: r.c, mean: r.c, count: 1 }));
  return {
    span,
    points,
    intervals,
    entries,
    count: answer.count || 0,
    gap: answer.gap_ms > 0 ? answer.gap_ms : Infinity,
    width: intervals && entries.length ? entries[0].to - entries[0].from : 0,
    stale: false,
  };
}

function addToChart(point) {
  const chart = page.chart;
  if (!chart || isNaN(point.t)) return;
  const last = chart.entries[chart.entries.length - 1];
  if (chart.intervals && last && point.t < last.to) {
    mergeInto(last, point.c);
  } else if (chart.intervals) {
    const width = Math.max(chart.width, SECOND);
    chart.entries.push({ from: point.t, to: point.t + width, min: point.c, max: point.c, mean: point.c, count: 1 });
  } else if (!last || point.t > last.from) {
    chart.entries.push({ from: point.t, to: point.t, min: point.c, max: point.c, mean: point.c, count: 1 });
  } else {
    return;
  }
  ++chart.count;
  // Far more points than pixels: the station sums them up again.
  if (chart.entries.length > 2 * chart.points && !chart.stale) {
    chart.stale = true;
    loadChart();
  }
  queueDraw();
}

function mergeInto(entry, celsius) {
  entry.min = Math.min(entry.min, celsius);
  entry.max = Math.max(entry.max, celsius);
  entry.mean = (entry.mean * entry.count + celsius) / (entry.count + 1);
  ++entry.count;
}

function chartView(chart) {
  const last = chart && chart.entries[chart.entries.length - 1];
  const to = Math.max(Date.now(), last ? last.from : 0);
  const span = chart ? chart.span : page.span;
  if (SPANS[span]) return { from: to - SPANS[span], to };
  const first = chart && chart.entries.length ? chart.entries[0].from : to - HOUR;
  return { from: Math.min(first, to - MINUTE), to };
}

function visibleEntries(chart, view) {
  if (!chart) return [];
  return chart.entries.filter((e) => e.to >= view.from && e.from <= view.to);
}

function statistics(entries) {
  let low = null;
  let high = null;
  let sum = 0;
  let count = 0;
  for (const entry of entries) {
    if (!low || entry.min < low.min) low = entry;
    if (!high || entry.max > high.max) high = entry;
    sum += entry.mean * entry.count;
    count += entry.count;
  }
  const last = entries[entries.length - 1];
  return { low, high, mean: count ? sum / count : null, latest: last ? latestOf(last) : null };
}

// Over intervals the newest interval's mean lags: the station's own last reading is the latest.
function latestOf(last) {
  const reading = page.station && page.station.reading;
  if (reading && Date.parse(reading.time) >= last.from) return reading.celsius;
  return last.mean;
}

function showStatistics(entries) {
  const stats = statistics(entries);
  $('stat-latest').textContent = stats.latest === null ? '—' : degrees(stats.latest);
  $('stat-mean').textContent = stats.mean === null ? '—' : degrees(stats.mean);
  $('stat-low').textContent = stats.low ? degrees(stats.low.min) : '—';
  $('stat-high').textContent = stats.high ? degrees(stats.high.max) : '—';
  $('stat-low-time').textContent = stats.low ? 'at ' + shortTimeText(stats.low.from) : '';
  $('stat-high-time').textContent = stats.high ? 'at ' + shortTimeText(stats.high.from) : '';
}

// Scales and ticks

function limitValues() {
  const limits = page.station && page.station.limits;
  if (!limits) return [];
  return [limits.low, limits.high].filter((v) => typeof v === 'number');
}

function valueRange(entries) {
  let low = Infinity;
  let high = -Infinity;
  for (const entry of entries) {
    low = Math.min(low, entry.min);
    high = Math.max(high, entry.max);
  }
  if (low > high) [low, high] = [15, 25];
  // A limit near the readings is shown; one far off would flatten them.
  const reach = Math.max(high - low, 2);
  for (const limit of limitValues()) {
    if (limit >= low - reach && limit <= high + reach) {
      low = Math.min(low, limit);
      high = Math.max(high, limit);
    }
  }
  const pad = Math.max(0.5, (high - low) / 20);
  return { low: low - pad, high: high + pad };
}

function valueStep(range, most) {
  const rough = range / Math.max(1, most);
  const power = Math.pow(10, Math.floor(Math.log10(rough)));
  for (const m of [1, 2, 5]) {
    if (power * m >= rough) return Math.max(0.01, power * m);
  }
  return Math.max(0.01, power * 10);
}

function timeStep(spanMs, width) {
  const perMs = width / Math.max(1, spanMs);
  return TIME_STEPS.find(([n, unit]) => n * UNIT_MS[unit] * perMs >= LABEL_SPACING) ||
    TIME_STEPS[TIME_STEPS.length - 1];
}

function floorTo(date, unit) {
  const resets = [(d) => d.setMilliseconds(0), (d) => d.setSeconds(0), (d) => d.setMinutes(0),
    (d) => d.setHours(0), (d) => d.setDate(1), (d) => d.setMonth(0)];
  resets.slice(0, UNITS.indexOf(unit) + 1).forEach((reset) => reset(date));
}

function advance(date, unit, n) {
  const field = FIELDS[unit];
  date['set' + field](date['get' + field]() + n);
}

// Where a tick falls in its step's cycle: days count from a Monday, so weeks start on Mondays.
function phase(date, unit) {
  if (unit === 'd') return Math.round((Date.UTC(date.getFullYear(), date.getMonth(), date.getDate()) - MONDAY) / DAY);
  return date['get' + FIELDS[unit]]();
}

function timeTicks(from, to, [n, unit]) {
  const date = new Date(from);
  floorTo(date, unit);
  for (let i = 0; i < 200 && (date.getTime() < from || phase(date, unit) % n !== 0); ++i) advance(date, unit, 1);
  const ticks = [];
  for (; date.getTime() <= to && ticks.length < 100; advance(date, unit, n)) ticks.push(date.getTime());
  return ticks;
}

function tickLabel(ms, [n, unit]) {
  const date = new Date(ms);
  if (unit === 'y') return String(date.getFullYear());
  if (unit === 'M') return date.toLocaleDateString(undefined, { month: 'short', year: 'numeric' });
  const midnight = date.getHours() === 0 && date.getMinutes() === 0 && date.getSeconds() === 0;
  if (unit === 'd' && n > 1) return date.toLocaleDateString(undefined, { day: 'numeric', month: 'short' });
  if (unit === 'd' || midnight) return date.toLocaleDateString(undefined, { weekday: 'short', day: 'numeric', month: 'short' });
  const seconds = unit === 's' ? { second: '2-digit' } : {};
  return date.toLocaleTimeString(undefined, { hour: '2-digit', minute: '2-digit', ...seconds });
}

// Drawing

function queueDraw() {
  // Empty axes drawn before the first chart arrives would only hold its answer up.
  if (page.drawQueued || !page.answered) return;
  page.drawQueued = true;
  requestAnimationFrame(draw);
}

function colours() {
  const style = getComputedStyle(document.documentElement);
  const get = (name) => style.getPropertyValue(name).trim();
  return {
    text: get('--muted'), grid: get('--grid'), line: get('--line'), band: get('--band'),
    high: get('--limit-high'), low: get('--limit-low'), cross: get('--text'),
  };
}

function fitCanvas(canvas) {
  const ratio = window.devicePixelRatio || 1;
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  const pixelsWide = Math.max(1, Math.round(width * ratio));
  const pixelsHigh = Math.max(1, Math.round(height * ratio));
  if (canvas.width !== pixelsWide || canvas.height !== pixelsHigh) {
    canvas.width = pixelsWide;
    canvas.height = pixelsHigh;
  }
  const context = canvas.getContext('2d');
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  context.clearRect(0, 0, width, height);
  return { context, width, height };
}

function draw() {
  page.drawQueued = false;
  const canvas = $('chart');
  const { context, width, height } = fitCanvas(canvas);
  const chart = page.chart;
  const view = chartView(chart);
  const entries = visibleEntries(chart, view);
  const plot = { x: MARGIN.left, y: MARGIN.top, w: Math.max(1, width - MARGIN.left - MARGIN.right),
    h: Math.max(1, height - MARGIN.top - MARGIN.bottom) };
  const values = valueRange(entries);
  const scale = {
    x: (t) => plot.x + ((t - view.from) / (view.to - view.from)) * plot.w,
    y: (c) => plot.y + ((values.high - c) / (values.high - values.low)) * plot.h,
    t: (x) => view.from + ((x - plot.x) / plot.w) * (view.to - view.from),
  };
  const palette = colours();
  context.font = '12px system-ui, sans-serif';
  drawValueAxis(context, plot, values, scale, palette);
  drawTimeAxis(context, plot, view, scale, palette);
  context.save();
  context.beginPath();
  context.rect(plot.x, plot.y, plot.w, plot.h);
  context.clip();
  drawBands(context, entries, scale, palette);
  drawLine(context, entries, chart ? chart.gap : Infinity, scale, palette);
  drawLimits(context, plot, scale, palette);
  context.restore();
  drawHover(context, plot, entries, scale, palette);
  markCanvas(canvas, chart, entries);
  showStatistics(entries);
}

function markCanvas(canvas, chart, entries) {
  canvas.dataset.span = chart ? chart.span : '';
  canvas.dataset.points = String(entries.length);
  canvas.dataset.count = String(chart ? chart.count : 0);
  $('chart-empty').hidden = !chart || entries.length > 0;
}

function drawValueAxis(context, plot, values, scale, palette) {
  const step = valueStep(values.high - values.low, plot.h / 40);
  const decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
  context.fillStyle = palette.text;
  context.strokeStyle = palette.grid;
  context.lineWidth = 1;
  context.textAlign = 'right';
  context.textBaseline = 'middle';
  for (let v = Math.ceil(values.low / step) * step; v <= values.high; v += step) {
    const y = Math.round(scale.y(v)) + 0.5;
    context.beginPath();
    context.moveTo(plot.x, y);
    context.lineTo(plot.x + plot.w, y);
    context.stroke();
    context.fillText(v.toFixed(decimals), plot.x - 8, y);
  }
  context.textAlign = 'left';
  context.textBaseline = 'top';
  context.fillText('°C', 4, 0);
}

function drawTimeAxis(context, plot, view, scale, palette) {
  const [n, unit] = timeStep(view.to - view.from, plot.w);
  context.textAlign = 'center';
  context.textBaseline = 'top';
  for (const tick of timeTicks(view.from, view.to, [n, unit])) {
    const x = Math.round(scale.x(tick)) + 0.5;
    context.strokeStyle = palette.grid;
    context.beginPath();
    context.moveTo(x, plot.y);
    context.lineTo(x, plot.y + plot.h);
    context.stroke();
    const label = tickLabel(tick, [n, unit]);
    const half = context.measureText(label).width / 2;
    const centre = Math.min(Math.max(x, plot.x + half), plot.x + plot.w - half);
    context.fillStyle = palette.text;
    context.fillText(label, centre, plot.y + plot.h + 8);
  }
  context.strokeStyle = palette.text;
  context.strokeRect(plot.x + 0.5, plot.y + 0.5, plot.w - 1, plot.h - 1);
}

function drawBands(context, entries, scale, palette) {
  context.fillStyle = palette.band;
  for (const entry of entries) {
    if (entry.max <= entry.min && entry.count <= 1) continue;
    const left = scale.x(entry.from);
    const right = Math.max(scale.x(entry.to), left + 1);
    const top = scale.y(entry.max);
    context.fillRect(left, top, right - left, Math.max(1, scale.y(entry.min) - top));
  }
}

function middle(entry) {
  return (entry.from + entry.to) / 2;
}

// A line through the means, broken where the readings stopped for longer than their usual gap; a lone
// point between two such breaks is drawn as a dot.
function drawLine(context, entries, gap, scale, palette) {
  context.strokeStyle = palette.line;
  context.fillStyle = palette.line;
  context.lineWidth = 1.5;
  context.lineJoin = 'round';
  context.beginPath();
  entries.forEach((entry, i) => {
    const joinedBefore = i > 0 && entry.from - entries[i - 1].to <= gap;
    const joinedAfter = i + 1 < entries.length && entries[i + 1].from - entry.to <= gap;
    const x = scale.x(middle(entry));
    const y = scale.y(entry.mean);
    if (joinedBefore) context.lineTo(x, y);
    else context.moveTo(x, y);
    if (!joinedBefore && !joinedAfter) context.fillRect(x - 1.5, y - 1.5, 3, 3);
  });
  context.stroke();
}

function drawLimits(context, plot, scale, palette) {
  const limits = page.station && page.station.limits;
  if (!limits) return;
  context.lineWidth = 1;
  context.setLineDash([6, 4]);
  for (const [value, colour] of [[limits.high, palette.high], [limits.low, palette.low]]) {
    if (typeof value !== 'number') continue;
    const y = Math.round(scale.y(value)) + 0.5;
    context.strokeStyle = colour;
    context.beginPath();
    context.moveTo(plot.x, y);
    context.lineTo(plot.x + plot.w, y);
    context.stroke();
  }
  context.setLineDash([]);
}

function nearestEntry(entries, t) {
  let low = 0;
  let high = entries.length - 1;
  while (low < high) {
    const mid = (low + high) >> 1;
    if (middle(entries[mid]) < t) low = mid + 1;
    else high = mid;
  }
  if (low > 0 && t - middle(entries[low - 1]) < middle(entries[low]) - t) --low;
  return entries[low];
}

function drawHover(context, plot, entries, scale, palette) {
  const readout = $('readout');
  const x = page.hoverX;
  if (x === null || x < plot.x || x > plot.x + plot.w || entries.length === 0) {
    readout.hidden = true;
    return;
  }
  const entry = nearestEntry(entries, scale.t(x));
  const px = scale.x(middle(entry));
  const py = scale.y(entry.mean);
  context.strokeStyle = palette.cross;
  context.lineWidth = 1;
  context.globalAlpha = 0.6;
  context.beginPath();
  context.moveTo(px, plot.y);
  context.lineTo(px, plot.y + plot.h);
  context.moveTo(plot.x, py);
  context.lineTo(plot.x + plot.w, py);
  context.stroke();
  context.globalAlpha = 1;
  showReadout(readout, entry, px, plot);
}

function showReadout(readout, entry, x, plot) {
  const spread = entry.count > 1 ? ' (' + entry.min.toFixed(2) + ' – ' + entry.max.toFixed(2) + ')' : '';
  readout.textContent = shortTimeText(middle(entry)) + '\n' + degrees(entry.mean) + spread;
  readout.hidden = false;
  const width = readout.offsetWidth;
  const left = x + 12 + width > plot.x + plot.w ? x - 12 - width : x + 12;
  readout.style.left = Math.max(0, left) + 'px';
  readout.style.top = plot.y + 4 + 'px';
}

// Pointer, span and size

function onPointer(event) {
  page.hoverX = event.offsetX;
  queueDraw();
}

function onPointerLeave(event) {
  // A finger lifted leaves its readout standing; a mouse that leaves takes it away.
  if (event.pointerType !== 'mouse') return;
  page.hoverX = null;
  queueDraw();
}

function chooseSpan(span) {
  page.span = span;
  for (const button of document.querySelectorAll('.spans button')) {
    button.setAttribute('aria-pressed', String(button.dataset.span === span));
  }
  loadChart();
}

let resizeTimer = 0;
function onResize() {
  queueDraw();
  const chart = page.chart;
  const width = $('chart').clientWidth;
  if (!chart || Math.abs(width - chart.points) < chart.points / 5) return;
  clearTimeout(resizeTimer);
  resizeTimer = setTimeout(loadChart, 300);
}

function start() {
  for (const button of document.querySelectorAll('.spans button')) {
    button.addEventListener('click', () => chooseSpan(button.dataset.span));
  }
  const canvas = $('chart');
  canvas.addEventListener('pointermove', onPointer);
  canvas.addEventListener('pointerdown', onPointer);
  canvas.addEventListener('pointerleave', onPointerLeave);
  new ResizeObserver(onResize).observe(canvas);
  matchMedia('(prefers-color-scheme: dark)').addEventListener('change', queueDraw);
  // The span slides with the clock even while the board is silent.
  setInterval(queueDraw, 10 * SECOND);
  refresh();
  connect();
}

start();
