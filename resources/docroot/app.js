// The Wi-Fi transfer page: lists the device's documents folder from "/files", uploads with the
// form field "newfile" (one request per file, so each has its own progress), downloads through
// "/files/<name>", and deletes by posting "_method=delete" to that same path. Names are put on
// the page as text only, never as markup.
'use strict';

(function () {
  const $ = (id) => document.getElementById(id);
  let uploadLimit = Infinity;

  // Parses the list text: [{'name':'a.mp3', 'id':0},...] with \' \\ \n \r \t \uXXXX escapes.
  function parseList(text) {
    let i = 0;
    const fail = () => { throw new Error('the file list could not be read'); };
    const expect = (s) => { if (text.startsWith(s, i)) { i += s.length; } else { fail(); } };
    const files = [];
    expect('[');
    if (text[i] === ']') { return files; }
    for (;;) {
      expect("{'name':'");
      let name = '';
      while (i < text.length && text[i] !== "'") {
        if (text[i] !== '\\') { name += text[i++]; continue; }
        const c = text[i + 1];
        if (c === undefined) { fail(); }
        if (c === 'n') { name += '\n'; } else if (c === 'r') { name += '\r'; }
        else if (c === 't') { name += '\t'; }
        else if (c === 'u') {
          const hex = text.substr(i + 2, 4);
          if (!/^[0-9a-fA-F]{4}$/.test(hex)) { fail(); }
          name += String.fromCharCode(parseInt(hex, 16));
          i += 4;
        } else { name += c; }
        i += 2;
      }
      expect("', 'id':");
      const id = /^\d+/.exec(text.slice(i));
      if (!id) { fail(); }
      i += id[0].length;
      expect('}');
      files.push({ name: name, id: Number(id[0]) });
      if (text[i] === ',') { i++; continue; }
      expect(']');
      return files;
    }
  }

  function showError(message) {
    const p = document.createElement('p');
    p.textContent = message;
    $('errors').appendChild(p);
  }

  function clearErrors() { $('errors').replaceChildren(); }

  function formatSize(bytes) {
    if (!(bytes >= 0)) { return ''; }
    const units = ['B', 'KB', 'MB', 'GB'];
    let value = bytes, unit = 0;
    while (value >= 1024 && unit < units.length - 1) { value /= 1024; unit++; }
    return (unit === 0 ? value : value.toFixed(1)) + ' ' + units[unit];
  }

  function fileUrl(name) { return '/files/' + encodeURIComponent(name); }

  // Sizes come from HEAD requests, a few at a time, so a long list never floods the device.
  const sizeQueue = [];
  let sizeRequests = 0;
  function sizeOf(name) {
    return new Promise((resolve) => {
      sizeQueue.push({ name: name, resolve: resolve });
      nextSize();
    });
  }
  async function nextSize() {
    if (sizeRequests >= 3 || sizeQueue.length === 0) { return; }
    const job = sizeQueue.shift();
    sizeRequests++;
    let size = NaN;
    try {
      const r = await fetch(fileUrl(job.name), { method: 'HEAD', cache: 'no-store' });
      if (r.ok) { size = Number(r.headers.get('Content-Length')); }
    } catch (e) { /* the size stays empty */ }
    sizeRequests--;
    job.resolve(size);
    nextSize();
  }

  async function refresh() {
    let files;
    try {
      const r = await fetch('/files', { cache: 'no-store' });
      const text = await r.text();
      if (!r.ok) { throw new Error(text || ('the list failed (' + r.status + ')')); }
      const limit = Number(r.headers.get('X-Upload-Limit'));
      uploadLimit = limit > 0 ? limit : Infinity;
      files = parseList(text);
    } catch (e) {
      showError(e.message);
      return;
    }
    const body = $('files').tBodies[0];
    body.replaceChildren();
    $('count').textContent = '(' + files.length + ')';
    $('empty').hidden = files.length !== 0;
    for (const f of files) {
      const row = body.insertRow();
      row.dataset.name = f.name;
      const nameCell = row.insertCell();
      nameCell.className = 'name';
      const link = document.createElement('a');
      link.href = fileUrl(f.name);
      link.setAttribute('download', f.name);
      link.textContent = f.name;
      nameCell.appendChild(link);
      const sizeCell = row.insertCell();
      sizeCell.className = 'size';
      const actCell = row.insertCell();
      actCell.className = 'act';
      const del = document.createElement('button');
      del.type = 'button';
      del.className = 'delete';
      del.textContent = 'Delete';
      del.addEventListener('click', () => remove(f.name, del));
      actCell.appendChild(del);
      sizeOf(f.name).then((size) => { sizeCell.textContent = formatSize(size); });
    }
  }

  async function remove(name, button) {
    if (!window.confirm('Delete "' + name + '" from the device?')) { return; }
    clearErrors();
    button.disabled = true;
    try {
      const r = await fetch(fileUrl(name), {
        method: 'POST',
        headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
        body: '_method=delete',
      });
      if (!r.ok) { showError(await r.text() || ('Deleting failed (' + r.status + ')')); }
    } catch (e) {
      showError('Deleting "' + name + '" failed: the device did not answer.');
    }
    button.disabled = false;
    await refresh();
  }

  // One request per file, one after the other, each with its own progress bar.
  function uploadOne(file) {
    const item = document.createElement('li');
    const label = document.createElement('span');
    label.className = 'name';
    label.textContent = file.name;
    const bar = document.createElement('progress');
    bar.max = 1;
    bar.value = 0;
    const state = document.createElement('span');
    state.className = 'state';
    state.textContent = 'waiting';
    item.append(label, bar, state);
    $('progress').appendChild(item);
    const finish = (ok, text) => {
      item.className = ok ? 'done' : 'failed';
      state.textContent = text;
      if (!ok) { showError(text); }
    };
    return () => new Promise((resolve) => {
      if (file.size > uploadLimit) {
        finish(false, 'Refused: "' + file.name + '" (' + formatSize(file.size) +
               ') is larger than the device can take (' + formatSize(uploadLimit) + ').');
        resolve();
        return;
      }
      const form = new FormData();
      form.append('newfile', file, file.name);
      const xhr = new XMLHttpRequest();
      xhr.open('POST', '/files');
      xhr.upload.onprogress = (e) => {
        if (e.lengthComputable) {
          bar.value = e.loaded / e.total;
          state.textContent = Math.round(100 * e.loaded / e.total) + ' %';
        }
      };
      xhr.onload = () => {
        if (xhr.status >= 200 && xhr.status < 400) {
          bar.value = 1;
          finish(true, 'stored');
        } else {
          finish(false, xhr.responseText || ('Upload of "' + file.name + '" failed (' + xhr.status + ')'));
        }
        resolve();
      };
      xhr.onerror = () => {
        finish(false, 'Upload of "' + file.name + '" failed: the device closed the connection.');
        resolve();
      };
      state.textContent = '0 %';
      xhr.send(form);
    });
  }

  async function onSubmit(event) {
    event.preventDefault();
    const input = $('newfile');
    const files = Array.from(input.files);
    if (files.length === 0) { return; }
    clearErrors();
    $('progress').replaceChildren();
    $('send').disabled = true;
    const jobs = files.map(uploadOne);
    for (const job of jobs) { await job(); }
    input.value = '';
    $('send').disabled = false;
    await refresh();
  }

  document.addEventListener('DOMContentLoaded', () => {
    $('upload').addEventListener('submit', onSubmit);
    refresh();
  });
})();
